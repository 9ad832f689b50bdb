#include "ui/theme/Theme.h"

#include "storage/Preferences.h"
#include "ui/theme/StyleSheetTemplate.h"

#include <QApplication>
#include <QColor>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QStyleFactory>
#include <QSvgRenderer>

#include <utility>

namespace UI::Theme {

namespace {

// Tinted symbols by "name|colour|size". Views ask again on every refresh; handing back the same
// icon keeps its scaled pixmaps in QPixmapCache under one key instead of a new one per call.
// Emptied when the palette changes, since the colours in use change with it.
QHash<QString, QIcon> &tintedIcons()
{
    static QHash<QString, QIcon> icons;
    return icons;
}

QIcon renderTinted(const QString &name, const QString &colour, int logicalSize)
{
    QSvgRenderer renderer(QStringLiteral(":/icons/sym/%1.svg").arg(name));
    if (!renderer.isValid())
        return {};
    const int side = 2 * logicalSize;
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, side, side));
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), QColor::fromString(colour));
    }
    return QIcon(pixmap);
}

QString gradientText(const QString &start, const QString &mid, const QString &end)
{
    return QStringLiteral("qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 %1, stop:0.55 %2, "
                          "stop:1 %3)")
            .arg(start, mid, end);
}

QPalette applicationPalette(const Palette &palette)
{
    const auto colour = [](const QString &text) { return QColor::fromString(text); };
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        { QPalette::Window, colour(palette.background) },
        { QPalette::Base, colour(palette.surface) },
        { QPalette::AlternateBase, colour(palette.chrome) },
        { QPalette::Text, colour(palette.text) },
        { QPalette::WindowText, colour(palette.text) },
        { QPalette::ButtonText, colour(palette.text) },
        { QPalette::Button, colour(palette.background) },
        { QPalette::Highlight, colour(palette.brand) },
        { QPalette::HighlightedText, colour(QStringLiteral("#ffffff")) },
        { QPalette::ToolTipBase,
          colour(palette.isDark ? palette.surface : QStringLiteral("#1d1d1f")) },
        { QPalette::ToolTipText, colour(QStringLiteral("#ffffff")) },
        { QPalette::PlaceholderText, colour(palette.muted) },
    };
    QPalette result;
    for (const auto &[role, value] : roles)
        result.setColor(QPalette::All, role, value);
    return result;
}

} // namespace

void apply(QApplication &app)
{
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QFont font = QApplication::font();
    font.setPointSizeF(10.0);
    QApplication::setFont(font);
    applyPalette(app, savedPaletteId());
}

void applyPalette(QApplication &app, const QString &id)
{
    const Palette &palette = paletteById(id);
    Detail::setCurrentPalette(palette);
    tintedIcons().clear();

    chromeColor = palette.chrome;
    borderColor = palette.border;
    textColor = palette.text;
    text2Color = palette.text2;
    mutedColor = palette.muted;
    brandColor = palette.brand;
    brand700Color = palette.brand700;
    dangerColor = palette.danger;

    Storage::Preferences::instance().setValue(Storage::PreferenceKeys::palette, palette.id);

    QApplication::setPalette(applicationPalette(palette));
    app.setStyleSheet(styleSheet());
    Q_EMIT Notifier::instance()->paletteChanged();
}

QString savedPaletteId()
{
    return Storage::Preferences::instance().value(Storage::PreferenceKeys::palette).toString();
}

QString styleSheet()
{
    const Palette &p = currentPalette();
    // Replaced in this order; the closing "%" keeps every placeholder from matching inside another.
    const std::pair<QLatin1StringView, QString> placeholders[] = {
        { QLatin1StringView("%GRADIENT%"), gradient(p) },
        { QLatin1StringView("%GRADHOVER%"),
          gradientText(p.brand600, p.gradientStart, p.gradientMid) },
        { QLatin1StringView("%BRAND700%"), p.brand700 },
        { QLatin1StringView("%BRAND600%"), p.brand600 },
        { QLatin1StringView("%BRAND400%"), p.brand400 },
        { QLatin1StringView("%BRAND%"), p.brand },
        { QLatin1StringView("%SURFACESOFT%"), p.background },
        { QLatin1StringView("%SURFACE%"), p.surface },
        { QLatin1StringView("%CARDHOVER%"), p.chrome },
        { QLatin1StringView("%CHROME%"), p.chrome },
        { QLatin1StringView("%BORDER%"), p.border },
        { QLatin1StringView("%MUTED%"), p.muted },
        { QLatin1StringView("%TEXT2%"), p.text2 },
        { QLatin1StringView("%TEXT%"), p.text },
        { QLatin1StringView("%DANGER%"), p.danger },
        { QLatin1StringView("%BG%"), p.background },
    };
    QString sheet = styleSheetTemplate();
    for (const auto &[placeholder, value] : placeholders)
        sheet.replace(placeholder, value, Qt::CaseSensitive);
    return sheet;
}

QString gradient(const Palette &palette)
{
    return gradientText(palette.gradientStart, palette.gradientMid, palette.gradientEnd);
}

void setButtonHeight(QPushButton *button, int height)
{
    const auto flag = [button](const char *name) { return button->property(name).toBool(); };
    int minimum = height - 2;
    if (flag("primary") || flag("chip") || flag("flat"))
        minimum = height;
    else if (flag("outline"))
        minimum = height - 4;
    button->setStyleSheet(
            QStringLiteral(
                    "QPushButton { min-height: %1px; padding-top: 0px; padding-bottom: 0px; }")
                    .arg(minimum));
}

QIcon icon(const QString &name, const QString &colour, int logicalSize)
{
    const QString key
            = name + QLatin1Char('|') + colour + QLatin1Char('|') + QString::number(logicalSize);
    auto found = tintedIcons().constFind(key);
    if (found != tintedIcons().constEnd())
        return *found;
    QIcon tinted = renderTinted(name, colour, logicalSize);
    if (!tinted.isNull())
        tintedIcons().insert(key, tinted);
    return tinted;
}

QString logoPath(const Palette &palette)
{
    return palette.isDark ? QStringLiteral(":/icons/tembrix-logo-dark.svg")
                          : QStringLiteral(":/icons/tembrix-logo.svg");
}

QString heroBannerPath(const Palette &palette, const QString &view)
{
    return QStringLiteral(":/banners/%1-hero-banner-%2.jpg").arg(view, palette.id);
}

QString trackerActiveBannerPath(const Palette &palette)
{
    if (palette.id == QLatin1StringView("pink"))
        return QStringLiteral(":/banners/tracker-active-hero-pink.jpg");
    return heroBannerPath(palette, QStringLiteral("tracker"));
}

} // namespace UI::Theme
