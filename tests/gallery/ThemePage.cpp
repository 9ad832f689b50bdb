#include "ThemePage.h"

#include "GalleryPage.h"

#include "ui/theme/Theme.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>

using namespace UI::Theme;

namespace {

const char *const symbolNames[]
        = { "activity",     "arrow-left",     "building",     "chart",       "check-circle",
            "chevron-left", "chevron-right",  "clipboard",    "clock",       "eye",
            "eye-slash",    "info-circle",    "keyboard",     "lightbulb",   "logout",
            "mail",         "minimize",       "mouse",        "number",      "pause",
            "person",       "photo",          "play",         "power",       "refresh",
            "sessions",     "shield",         "shield-alert", "stop",        "target",
            "tray-down",    "triangle-alert", "update",       "xmark-circle" };

QPixmap svgPixmap(const QString &path, const QSize &size, const QString &tint)
{
    QSvgRenderer renderer(path);
    QPixmap pixmap(size * 2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), pixmap.size()));
    if (!tint.isEmpty()) {
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), QColor::fromString(tint));
    }
    painter.end();
    pixmap.setDevicePixelRatio(2);
    return pixmap;
}

QWidget *swatch(const QString &background, QWidget *parent)
{
    auto *box = new QFrame(parent);
    box->setFixedSize(background.startsWith(QLatin1Char('q')) ? 64 : 22, 22);
    box->setStyleSheet(QStringLiteral("QFrame { background: %1; border: 1px solid %2; "
                                      "border-radius: 5px; }")
                               .arg(background, borderColor));
    return box;
}

QPushButton *button(const QString &text, const char *property, bool enabled, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    if (property)
        b->setProperty(property, true);
    b->setEnabled(enabled);
    return b;
}

QWidget *header(QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    QSvgRenderer logo(logoPath(currentPalette()));
    const QSize logoSize(qRound(20.0 * logo.defaultSize().width() / logo.defaultSize().height()),
                         20);
    layout->addWidget(pixmapLabel(svgPixmap(logoPath(currentPalette()), logoSize, QString()), row));
    auto *title = new QLabel(currentPalette().displayName, row);
    title->setProperty("strong", true);
    layout->addWidget(title);
    layout->addStretch();
    const QString tabs[] = { QStringLiteral("tracker"), QStringLiteral("summary"),
                             QStringLiteral("screenshots"), QStringLiteral("settings") };
    for (const QString &tab : tabs) {
        const QString tint = tab == tabs[0] ? brandColor : textColor;
        layout->addWidget(pixmapLabel(
                svgPixmap(QStringLiteral(":/icons/tabs/tab-%1.svg").arg(tab), QSize(22, 22), tint),
                row));
    }
    return row;
}

QWidget *swatches(QWidget *parent)
{
    const Palette &p = currentPalette();
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    for (const QString &c : { p.brand700, p.brand600, p.brand, p.brand400, p.chrome, p.background,
                              p.border, p.surface, p.text, p.text2, p.muted, p.danger })
        layout->addWidget(swatch(c, row));
    layout->addWidget(swatch(gradient(p), row));
    layout->addStretch();
    return row;
}

QWidget *buttons(QWidget *parent)
{
    auto *grid = new QWidget(parent);
    auto *layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    const std::pair<const char *, const char *> styles[] = {
        { "Plain", nullptr },    { "Primary", "primary" }, { "Delete", "destructive" },
        { "Chip", "chip" },      { "Outline", "outline" }, { "Flat", "flat" },
        { "Today", "navtoday" }, { "Segment", "segment" },
    };
    int i = 0;
    for (const auto &[text, property] : styles) {
        const int row = i / 2;
        const int column = (i % 2) * 2;
        layout->addWidget(button(QString::fromLatin1(text), property, true, grid), row, column);
        layout->addWidget(button(QString::fromLatin1(text), property, false, grid), row,
                          column + 1);
        ++i;
    }
    return grid;
}

QWidget *heroStrip(QWidget *parent)
{
    auto *hero = new QFrame(parent);
    hero->setProperty("herocard", true);
    auto *layout = new QHBoxLayout(hero);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->addWidget(button(QStringLiteral("On gradient"), "ongradientchip", true, hero));
    layout->addWidget(button(QStringLiteral("Disabled"), "ongradientchip", false, hero));
    layout->addStretch();
    auto *track = new QFrame(hero);
    track->setProperty("segtrack", true);
    auto *trackLayout = new QHBoxLayout(track);
    trackLayout->setContentsMargins(3, 3, 3, 3);
    trackLayout->setSpacing(0);
    for (const QString &text : { QStringLiteral("Day"), QStringLiteral("Week") }) {
        QPushButton *segment = button(text, "segment", true, track);
        segment->setCheckable(true);
        segment->setChecked(text == QLatin1StringView("Day"));
        trackLayout->addWidget(segment);
    }
    layout->addWidget(track);
    return hero;
}

QWidget *labels(QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (const char *property : { "muted", "secondary", "strong", "danger", "brand" }) {
        auto *label = new QLabel(QString::fromLatin1(property), row);
        label->setProperty(property, true);
        layout->addWidget(label);
    }
    auto *section = new QLabel(QStringLiteral("SECTION"), row);
    section->setProperty("sectiontitle", true);
    layout->addWidget(section);
    layout->addStretch();
    return row;
}

QWidget *inputs(QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *edit = new QLineEdit(row);
    edit->setPlaceholderText(QStringLiteral("name@company.example"));
    layout->addWidget(edit, 3);
    auto *combo = new QComboBox(row);
    combo->addItems({ QStringLiteral("Design review"), QStringLiteral("Support") });
    layout->addWidget(combo, 2);
    return row;
}

QWidget *symbolCard(QWidget *parent)
{
    auto *card = new QFrame(parent);
    card->setProperty("card", true);
    auto *layout = new QGridLayout(card);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setHorizontalSpacing(4);
    layout->setVerticalSpacing(8);
    int i = 0;
    for (const char *name : symbolNames) {
        const QPixmap pixmap
                = icon(QString::fromLatin1(name), brandColor, 20).pixmap(QSize(40, 40));
        QPixmap sharp = pixmap;
        sharp.setDevicePixelRatio(2);
        layout->addWidget(pixmapLabel(sharp, card), i / 12, i % 12);
        ++i;
    }
    return card;
}

QWidget *artwork(QWidget *parent)
{
    auto *row = new QFrame(parent);
    row->setProperty("card", true);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 10, 12, 10);
    QPixmap appIcon(QStringLiteral(":/icons/AppIcon.png"));
    appIcon = appIcon.scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    appIcon.setDevicePixelRatio(2);
    layout->addWidget(pixmapLabel(appIcon, row));
    layout->addSpacing(8);
    layout->addWidget(
            pixmapLabel(svgPixmap(logoPath(currentPalette()), QSize(168, 40), QString()), row));
    layout->addStretch();
    auto *tabs = new QGridLayout;
    const QString names[] = { QStringLiteral("tracker"), QStringLiteral("summary"),
                              QStringLiteral("screenshots"), QStringLiteral("settings") };
    for (int i = 0; i < 4; ++i) {
        const QString tint = i == 0 ? brandColor : textColor;
        tabs->addWidget(
                pixmapLabel(svgPixmap(QStringLiteral(":/icons/tabs/tab-%1.svg").arg(names[i]),
                                      QSize(22, 22), tint),
                            row),
                0, i, Qt::AlignHCenter);
    }
    layout->addLayout(tabs);
    return row;
}

} // namespace

QWidget *buildThemePage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(9);
    layout->addWidget(header(page));
    layout->addWidget(swatches(page));
    layout->addWidget(buttons(page));
    layout->addWidget(heroStrip(page));
    layout->addWidget(labels(page));
    layout->addWidget(inputs(page));
    layout->addWidget(symbolCard(page));
    layout->addWidget(artwork(page));
    layout->addStretch();
    return page;
}
