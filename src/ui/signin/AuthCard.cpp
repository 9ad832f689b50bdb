#include "ui/signin/AuthCard.h"

#include "ui/signin/PanelCard.h"
#include "ui/signin/SignInStyle.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/HeroBanner.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace UI {

QScrollArea *makePageScrollArea(QWidget *parent)
{
    auto *scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Keeps Tab inside the page's own controls.
    scroll->setFocusPolicy(Qt::NoFocus);
    return scroll;
}

QWidget *makePanelCard(QWidget *parent)
{
    auto *card = new PanelCard(parent);
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return card;
}

HeroBanner *addHeroBanner(QWidget *card, const QString &key, double visibleFraction, double focusX,
                          double focusY)
{
    auto *banner = new HeroBanner(card);
    banner->setImageKey(key);
    banner->setScaleMode(1);
    banner->setVisibleFraction(visibleFraction);
    banner->setFocusX(focusX);
    banner->setFocusY(focusY);
    banner->setCornerRadius(18);
    banner->setFixedHeight(195);
    card->layout()->addWidget(banner);
    return banner;
}

void setCardTitleFont(QLabel *label)
{
    QFont font = label->font();
    font.setWeight(QFont::Bold);
    font.setPointSize(font.pointSize() + 8);
    label->setFont(font);
}

AuthCard buildAuthCard(QWidget *page, const QString &heroKey)
{
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(16, 16, 16, 16);
    QScrollArea *scroll = makePageScrollArea(page);
    pageLayout->addWidget(scroll);

    QWidget *card = makePanelCard();
    scroll->setWidget(card);
    addHeroBanner(card, heroKey, 0.58, 0.72, 0.2);

    auto *body = new QWidget(card);
    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(20, 20, 20, 20);
    bodyLayout->setSpacing(12);
    card->layout()->addWidget(body);

    auto *title = new QLabel(body);
    setCardTitleFont(title);
    title->setWordWrap(true);
    bodyLayout->addWidget(title);

    return { bodyLayout, title };
}

QPushButton *addBackToLoginButton(QVBoxLayout *layout, QWidget *parent)
{
    auto *row = new QHBoxLayout;
    auto *button = new QPushButton(u"Back to Login"_s, parent);
    button->setProperty("flat", true);
    button->setCursor(Qt::PointingHandCursor);
    followPalette(button, [button] {
        button->setIcon(Theme::icon(u"arrow-left"_s, Theme::brandColor, 13));
    });
    row->addStretch();
    row->addWidget(button);
    row->addStretch();
    layout->addLayout(row);
    return button;
}

void setTwoToneTitle(QLabel *label, const QString &first, const QString &second)
{
    label->setTextFormat(Qt::RichText);
    label->setText(u"<span style='color:%1'>%2</span><span style='color:%3'>%4</span>"_s.arg(
            Theme::textColor, first.toHtmlEscaped(),
            Theme::readableTextColour(Theme::brandColor, Theme::kLargeTextContrast),
            second.toHtmlEscaped()));
}

} // namespace UI
