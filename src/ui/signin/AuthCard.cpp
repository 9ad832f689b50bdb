#include "ui/signin/AuthCard.h"

#include "ui/signin/SignInStyle.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/HeroBanner.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace UI {

AuthCard buildAuthCard(QWidget *page, const QString &heroKey)
{
    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(16, 16, 16, 16);

    auto *scroll = new QScrollArea(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Keeps Tab inside the page's own controls.
    scroll->setFocusPolicy(Qt::NoFocus);
    pageLayout->addWidget(scroll);

    auto *card = new QWidget;
    card->setAttribute(Qt::WA_StyledBackground, true);
    card->setProperty("panelcard", true);
    auto *shadow = new QGraphicsDropShadowEffect(card);
    shadow->setBlurRadius(20);
    shadow->setColor(QColor(0, 0, 0, 12));
    shadow->setOffset(0, 4);
    card->setGraphicsEffect(shadow);
    scroll->setWidget(card);

    auto *cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(0, 0, 0, 0);
    cardLayout->setSpacing(0);

    auto *banner = new HeroBanner(card);
    banner->setImageKey(heroKey);
    banner->setScaleMode(1);
    banner->setVisibleFraction(0.58);
    banner->setFocusX(0.72);
    banner->setFocusY(0.2);
    banner->setCornerRadius(18);
    banner->setFixedHeight(195);
    cardLayout->addWidget(banner);

    auto *body = new QWidget(card);
    auto *bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(20, 20, 20, 20);
    bodyLayout->setSpacing(12);
    cardLayout->addWidget(body);

    auto *title = new QLabel(body);
    QFont font = title->font();
    font.setWeight(QFont::Bold);
    font.setPointSize(font.pointSize() + 8);
    title->setFont(font);
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
            Theme::textColor, first.toHtmlEscaped(), Theme::brandColor, second.toHtmlEscaped()));
}

} // namespace UI
