#include "ui/theme/Theme.h"

#include "storage/Paths.h"
#include "storage/Preferences.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/StyleSheetTemplate.h"
#include "ui/theme/ThemeStyle.h"

#include <QApplication>
#include <QColor>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
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

QColor colour(const QString &text)
{
    return QColor::fromString(text);
}

// The drop-down chevron's logical side; its file holds twice as many pixels.
constexpr int kChevronSize = 12;

// "url(...)" of the tinted chevron for the sheet, "none" when no file could be written.
QString chevronImageValue(const QString &colour)
{
    const QString path = chevronImagePath(colour);
    return path.isEmpty() ? QStringLiteral("none") : QStringLiteral("url(\"%1\")").arg(path);
}

// How far the current tab's colour stands from the other tabs' colour.
constexpr double kTabApartContrast = 2.0;

// The palette's own colours where they read well enough, and stand-ins of the same hue where they
// do not: the light palettes' accents are too pale for white text or for text on their light
// cards, and the black palette's accent is too light for white text.
struct ReadableColours
{
    QString brandText; // accent text on cards, the window and chrome
    QString brandTextHover;
    QString brandTextOnWhite;
    QString muted;
    QString danger;
    QString brandFill; // chips, checked segments and selections
    QString onBrand;   // text on brandFill
    QString gradient;  // primary buttons and hero cards, white text
    QString gradientHover;
    QString dangerSoft; // hover of destructive buttons
};

QString readableText(const Palette &palette, const QString &text)
{
    return readableOn(colour(text), { colour(palette.surface), colour(palette.background),
                                      colour(palette.chrome) })
            .name()
            .toUpper();
}

QString fillUnderWhite(const QString &fill)
{
    return fillUnder(colour(fill), Qt::white).name().toUpper();
}

ReadableColours readableColours(const Palette &p)
{
    ReadableColours result;
    result.brandText = readableText(p, p.brand);
    result.brandTextHover = readableText(p, p.brand700);
    result.brandTextOnWhite = readableOn(colour(p.brand), { Qt::white }).name().toUpper();
    result.muted = readableText(p, p.muted);
    result.danger = readableText(p, p.danger);
    if (p.isDark) {
        // A light accent: dark text on it rather than a darker accent.
        result.brandFill = p.brand;
        result.onBrand = readableOn(colour(p.chrome), { colour(p.brand) }).name().toUpper();
    } else {
        result.brandFill = fillUnderWhite(p.brand);
        result.onBrand = QStringLiteral("#FFFFFF");
    }
    const QStringList stops = textGradientStops(p);
    result.gradient = gradientText(stops.at(0), stops.at(1), stops.at(2));
    result.gradientHover = gradientText(fillUnderWhite(p.brand600), fillUnderWhite(p.gradientStart),
                                        fillUnderWhite(p.gradientMid));
    const QColor surface = colour(p.surface);
    const QColor danger = colour(result.danger);
    result.dangerSoft = QColor::fromRgbF(surface.redF() * 0.94 + danger.redF() * 0.06,
                                         surface.greenF() * 0.94 + danger.greenF() * 0.06,
                                         surface.blueF() * 0.94 + danger.blueF() * 0.06)
                                .name()
                                .toUpper();
    return result;
}

QPalette applicationPalette(const Palette &palette)
{
    const ReadableColours readable = readableColours(palette);
    const std::pair<QPalette::ColorRole, QColor> roles[] = {
        { QPalette::Window, colour(palette.background) },
        { QPalette::Base, colour(palette.surface) },
        { QPalette::AlternateBase, colour(palette.chrome) },
        { QPalette::Text, colour(palette.text) },
        { QPalette::WindowText, colour(palette.text) },
        { QPalette::ButtonText, colour(palette.text) },
        { QPalette::Button, colour(palette.background) },
        { QPalette::Highlight, colour(readable.brandFill) },
        { QPalette::HighlightedText, colour(readable.onBrand) },
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
        QApplication::setStyle(new ThemeStyle(fusion));
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
    const ReadableColours readable = readableColours(palette);
    mutedColor = readable.muted;
    brandColor = palette.brand;
    brandTextColor = readable.brandText;
    brand700Color = palette.brand700;
    dangerColor = readable.danger;
    // Dark palettes dim the other tabs rather than showing them in the bright text colour, which
    // would outshine a grey brand.
    tabIdleColor = palette.isDark ? readable.muted : palette.text;
    tabCurrentColor = apartFrom(colour(palette.brand), colour(tabIdleColor), kTabApartContrast)
                              .name()
                              .toUpper();

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
    const ReadableColours readable = readableColours(p);
    // Replaced in this order; the closing "%" keeps every placeholder from matching inside another.
    const std::pair<QLatin1StringView, QString> placeholders[] = {
        { QLatin1StringView("%CHEVRON%"), chevronImageValue(readable.brandText) },
        { QLatin1StringView("%GRADIENT%"), readable.gradient },
        { QLatin1StringView("%GRADHOVER%"), readable.gradientHover },
        { QLatin1StringView("%BRANDTEXTHOVER%"), readable.brandTextHover },
        { QLatin1StringView("%BRANDTEXTONWHITE%"), readable.brandTextOnWhite },
        { QLatin1StringView("%BRANDTEXT%"), readable.brandText },
        { QLatin1StringView("%BRANDFILL%"), readable.brandFill },
        { QLatin1StringView("%ONBRAND%"), readable.onBrand },
        { QLatin1StringView("%MUTEDTEXT%"), readable.muted },
        { QLatin1StringView("%DANGERSOFT%"), readable.dangerSoft },
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
        { QLatin1StringView("%DANGER%"), readable.danger },
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

QStringList textGradientStops(const Palette &palette)
{
    return { fillUnderWhite(palette.gradientStart), fillUnderWhite(palette.gradientMid),
             fillUnderWhite(palette.gradientEnd) };
}

QString readableTextColour(const QString &text, double minimum)
{
    const Palette &p = currentPalette();
    return readableOn(colour(text), { colour(p.surface), colour(p.background), colour(p.chrome) },
                      minimum)
            .name()
            .toUpper();
}

BannerColours bannerColours(const Palette &palette)
{
    QList<QColor> fill;
    for (const QString &stop : textGradientStops(palette))
        fill.append(colour(stop));
    // The pictures are drawn in the palette's own tints: its window and chrome colours are the
    // light (or, on dark palettes, dark) parts a track may lie on.
    const QList<QColor> picture = { colour(palette.background), colour(palette.chrome) };
    BannerColours result;
    result.pausedClock = translucentOn(Qt::white, 0.65, fill, kLargeTextContrast);
    // On a dark palette the veil only carries the white progress; the edge shows the track.
    QColor veil(Qt::black);
    veil.setAlphaF(0.45F);
    result.trackFill = palette.isDark ? veil : translucentOn(veil, 0.45, picture, kNonTextContrast);
    result.trackEdge = translucentOn(Qt::white, 0.6, palette.isDark ? fill + picture : fill,
                                     kNonTextContrast);
    return result;
}

ThumbnailColours thumbnailColours(const Palette &palette)
{
    ThumbnailColours result;
    if (palette.isDark) {
        result.waiting = colour(palette.border);
        result.empty = colour(palette.chrome);
    } else {
        result.waiting = colour(QStringLiteral("#D9D9DE"));
        result.empty = colour(QStringLiteral("#EEEEF1"));
    }
    // The muted text the palette uses elsewhere, adjusted further only where the grey needs it.
    result.emptyText = readableOn(colour(readableText(palette, palette.muted)), { result.empty });
    return result;
}

NoticeColours noticeColours(const Palette &palette)
{
    NoticeColours result;
    result.strip = QColor(255, 200, 100, 30);
    const QColor shown = composited(result.strip, colour(palette.background));
    // The muted text the palette uses elsewhere, adjusted further only where the amber needs it.
    result.mutedText = readableOn(colour(readableText(palette, palette.muted)), { shown });
    return result;
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

QString chevronImagePath(const QString &colour)
{
    QFile svg(QStringLiteral(":/icons/sym/chevron-right.svg"));
    if (!svg.open(QIODevice::ReadOnly))
        return {};
    const QByteArray artwork = svg.readAll();
    // Named by colour and artwork, so a file left by another build or palette is never misread.
    const QString name = QStringLiteral("chevron-down-%1-%2.png")
                                 .arg(QString(colour).remove(u'#').toLower(),
                                      QString::fromLatin1(QCryptographicHash::hash(
                                                                  artwork, QCryptographicHash::Md5)
                                                                  .toHex()
                                                                  .left(8)));
    const QString folder
            = Platform::Paths::ensureDir(Platform::Paths::runtimeDir() + QStringLiteral("/theme"));
    const QString path = folder + u'/' + name;
    if (QFileInfo::exists(path))
        return path;

    QSvgRenderer renderer(artwork);
    if (!renderer.isValid())
        return {};
    const int side = 2 * kChevronSize;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        // The symbol points right; the drop-down's points down.
        painter.translate(side / 2.0, side / 2.0);
        painter.rotate(90);
        painter.translate(-side / 2.0, -side / 2.0);
        renderer.render(&painter, QRectF(0, 0, side, side));
        painter.resetTransform();
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), QColor::fromString(colour));
    }
    // Whole or not at all: another instance may be reading the folder.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
        return {};
    return path;
}

QIcon appIcon()
{
    // Each QIcon built from the file would read and decode it again; copies share one image.
    static const QIcon icon(QStringLiteral(":/icons/AppIcon.png"));
    return icon;
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
