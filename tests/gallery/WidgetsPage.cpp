#include "WidgetsPage.h"

#include "ui/theme/Theme.h"
#include "ui/widgets/ActivityBar.h"
#include "ui/widgets/HeroBanner.h"
#include "ui/widgets/HoverFlip.h"
#include "ui/widgets/IconTabBar.h"
#include "ui/widgets/IconTabWidget.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

struct BannerSetup
{
    const char *key;
    int mode;
    double fraction;
    double focusX;
    double focusY;
    bool activePage;
    int height;
};

// The settings each caller gives its banner; -1 keeps the default. The Tracker start page fixes
// its height at 180; the others grow with their cards and are shown low here to fit the page.
constexpr BannerSetup bannerSetups[] = {
    { "login", 1, 0.5, 0.75, 0.15, false, 64 },   { "forgot", 1, 0.58, 0.72, 0.2, false, 64 },
    { "company", 1, 0.58, 0.72, 0.2, false, 64 }, { "tracker", 0, -1, -1, -1, false, 180 },
    { "active", 1, 1.0, 0.4, 0.3, true, 64 },
};

QWidget *banner(const BannerSetup &setup, QWidget *parent)
{
    auto *b = new UI::HeroBanner(parent);
    b->setImageKey(QString::fromLatin1(setup.key));
    b->setScaleMode(setup.mode);
    if (setup.fraction > 0) {
        b->setVisibleFraction(setup.fraction);
        b->setFocusX(setup.focusX);
        b->setFocusY(setup.focusY);
    }
    b->setCornerRadius(18);
    b->setGradientBackground(setup.activePage);
    b->setFadeImage(setup.activePage);
    b->setFixedSize(428, setup.height);
    auto *layout = new QVBoxLayout(b);
    layout->setContentsMargins(18, 10, 18, 10);
    auto *title = new QLabel(QString::fromLatin1(setup.key), b);
    title->setStyleSheet(
            QStringLiteral("color: %1; font-weight: 600;")
                    .arg(setup.activePage ? QStringLiteral("#ffffff") : UI::Theme::textColor));
    layout->addWidget(title);
    layout->addStretch();
    return b;
}

QWidget *tabs(QWidget *parent)
{
    auto *widget = new UI::IconTabWidget(parent);
    const char *const names[] = { "Tracker", "Summary", "Screenshots", "Settings" };
    const char *const icons[] = { "tracker", "summary", "screenshots", "settings" };
    for (int i = 0; i < 4; ++i) {
        widget->addTab(new QWidget, QString::fromLatin1(names[i]));
        widget->iconTabBar()->setTabIconPath(
                i, QStringLiteral(":/icons/tabs/tab-%1.svg").arg(QString::fromLatin1(icons[i])));
    }
    widget->setFixedSize(428, 62);
    return widget;
}

QWidget *bars(QWidget *parent)
{
    auto *box = new QWidget(parent);
    auto *layout = new QGridLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setVerticalSpacing(2);
    const double values[] = { 0, 1, 50, 100 };
    for (int i = 0; i < 4; ++i) {
        auto *label = new QLabel(QStringLiteral("%1 %").arg(values[i]), box);
        label->setProperty("muted", true);
        label->setFixedWidth(40);
        layout->addWidget(label, i / 2, (i % 2) * 2);
        layout->addWidget(new UI::ActivityBar(values[i], UI::Theme::greenColor, 6, box), i / 2,
                          (i % 2) * 2 + 1);
    }
    return box;
}

QWidget *cardSide(bool back, QWidget *parent)
{
    auto *side = new QFrame(parent);
    side->setProperty("card", true);
    auto *layout = new QHBoxLayout(side);
    layout->setContentsMargins(14, 4, 10, 4);
    if (back) {
        auto *text = new QLabel(QStringLiteral("8 h"), side);
        text->setProperty("secondary", true);
        layout->addWidget(text);
        auto *set = new QPushButton(QStringLiteral("Set Target"), side);
        set->setProperty("chip", true);
        layout->addWidget(set);
    } else {
        auto *text = new QLabel(QStringLiteral("Today"), side);
        text->setProperty("muted", true);
        layout->addWidget(text);
        auto *total = new QLabel(QStringLiteral("5 h 12 min"), side);
        total->setProperty("strong", true);
        layout->addWidget(total);
    }
    return side;
}

QWidget *flipCards(QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (bool back : { false, true }) {
        auto *card = new UI::HoverFlip(row);
        card->setWidgets(cardSide(false, card), cardSide(true, card));
        // The gallery shows a side at rest, without turning it.
        card->showSide(back);
        card->setFixedHeight(44);
        layout->addWidget(card);
    }
    return row;
}

} // namespace

QWidget *buildWidgetsPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(6);
    for (const BannerSetup &setup : bannerSetups)
        layout->addWidget(banner(setup, page));
    layout->addWidget(tabs(page));
    layout->addWidget(bars(page));
    layout->addWidget(flipCards(page));
    layout->addStretch();
    return page;
}
