#include "ui/widgets/HeroBanner.h"

#include "ui/theme/Theme.h"
#include "ui/widgets/ShownRefresh.h"

#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace UI {

HeroBanner::HeroBanner(QWidget *parent)
    : QWidget(parent)
    , m_onScreen(new ShownRefresh(this, [] {}))
{
    // The banner paints its whole rectangle itself; the sheet's QWidget background must not.
    setAttribute(Qt::WA_StyledBackground, false);
    // A decoded banner is 4 to 6 MiB: off screen (another page, the popover hidden or unmapped)
    // nothing draws it, and the next paint reads it again from the resources.
    m_onScreen->setReleaseOffScreen([this] { releaseImage(); });
}

HeroBanner::~HeroBanner() = default;

void HeroBanner::setImageKey(const QString &key)
{
    m_imageKey = key;
    if (!m_paletteHooked) {
        m_paletteHooked = true;
        connect(Theme::Notifier::instance(), &Theme::Notifier::paletteChanged, this,
                &HeroBanner::reload);
    }
    reload();
}

void HeroBanner::reload()
{
    if (m_imageKey.isEmpty())
        return;
    const Theme::Palette &palette = Theme::currentPalette();
    m_backgroundColor = QColor::fromString(palette.chrome);
    setImagePath(m_imageKey == QLatin1StringView("active")
                         ? Theme::trackerActiveBannerPath(palette)
                         : Theme::heroBannerPath(palette, m_imageKey));
}

void HeroBanner::setImagePath(const QString &path)
{
    // Decoded at the first paint: start-up builds every page's banner, and most are never shown.
    m_imagePath = path;
    m_image = QPixmap();
    m_imageLoaded = false;
    update();
}

void HeroBanner::releaseImage()
{
    if (!m_imageLoaded)
        return;
    m_image = QPixmap();
    m_imageLoaded = false;
}

void HeroBanner::setScaleMode(int mode)
{
    m_scaleMode = mode;
    update();
}

void HeroBanner::setCornerRadius(double radius)
{
    m_cornerRadius = radius;
    update();
}

void HeroBanner::setFocusX(double focusX)
{
    m_focusX = focusX;
    update();
}

void HeroBanner::setVisibleFraction(double fraction)
{
    m_visibleFraction = fraction;
    update();
}

void HeroBanner::setFocusY(double focusY)
{
    m_focusY = focusY;
    update();
}

void HeroBanner::setBackgroundColor(const QColor &colour)
{
    m_backgroundColor = colour;
    update();
}

void HeroBanner::setFadeImage(bool fade)
{
    m_fadeImage = fade;
    update();
}

void HeroBanner::setGradientBackground(bool gradient)
{
    m_gradientBackground = gradient;
    update();
}

namespace {

// The fade hides the picture left of this fraction of the width and shows it fully from the next.
constexpr double FadeStart = 0.48;
constexpr double FadeEnd = 0.8;

} // namespace

QRectF HeroBanner::imageTarget() const
{
    const double w = width();
    const double h = height();
    const bool focal = m_scaleMode == 1 && m_visibleFraction > 0;
    // Fit the height, or zoom to the visible fraction of the width.
    double drawnWidth = focal ? w / m_visibleFraction : m_image.width() * h / m_image.height();
    double drawnHeight = drawnWidth * m_image.height() / m_image.width();
    // Cover: a banner taller or wider than the picture drawn so would show its edges.
    const double grow = std::max({ 1.0, w / drawnWidth, h / drawnHeight });
    drawnWidth *= grow;
    drawnHeight *= grow;
    // A wider picture keeps its right edge, where the subject is; the focal point stays centred
    // as far as covering allows. Under the fade the left part never shows, so it may stay bare.
    const double x = focal ? w * 0.5 - m_focusX * drawnWidth : w - drawnWidth;
    const double y = focal ? -(drawnHeight - h) * m_focusY : 0.0;
    const double leftmost = m_fadeImage && focal ? w * FadeStart : 0.0;
    return QRectF(std::clamp(x, w - drawnWidth, std::max(leftmost, w - drawnWidth)),
                  std::clamp(y, h - drawnHeight, 0.0), drawnWidth, drawnHeight);
}

void HeroBanner::drawImage(QPainter &painter, const QRectF &target) const
{
    if (m_scaleMode != 1 || m_visibleFraction <= 0 || !m_fadeImage) {
        painter.drawPixmap(target, m_image, QRectF(m_image.rect()));
        return;
    }
    // Rebuilt on every paint, at the screen's pixel density so the picture stays sharp.
    const qreal ratio = devicePixelRatioF();
    QPixmap layer(size() * ratio);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHint(QPainter::SmoothPixmapTransform);
        layerPainter.drawPixmap(target, m_image, QRectF(m_image.rect()));
        layerPainter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        QLinearGradient ramp(0, 0, width(), 0);
        ramp.setColorAt(0.0, QColor(0, 0, 0, 0));
        ramp.setColorAt(FadeStart, QColor(0, 0, 0, 0));
        ramp.setColorAt(FadeEnd, QColor(0, 0, 0, 255));
        layerPainter.fillRect(rect(), ramp);
    }
    painter.drawPixmap(0, 0, layer);
}

void HeroBanner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF r(0, 0, width(), height());

    if (m_gradientBackground) {
        // The stops as primary buttons and hero cards fill them: the banner carries white text.
        const QStringList stops = Theme::textGradientStops(Theme::currentPalette());
        QLinearGradient gradient(0, 0, width(), 0);
        gradient.setColorAt(0.0, QColor::fromString(stops.at(0)));
        gradient.setColorAt(0.55, QColor::fromString(stops.at(1)));
        gradient.setColorAt(1.0, QColor::fromString(stops.at(2)));
        painter.fillRect(r, gradient);
    } else if (m_backgroundColor.isValid()) {
        painter.fillRect(r, m_backgroundColor);
    }

    if (!m_imageLoaded) {
        // Not QPixmap(path): that keeps a copy in QPixmapCache, which would outlive the release.
        // A 1600 x 880 banner decodes in a few milliseconds.
        m_image = QPixmap::fromImage(QImageReader(m_imagePath).read());
        m_imageLoaded = true;
    }
    const bool hasImage = !m_image.isNull() && m_image.height() > 0;
    if (width() >= 1 && height() >= 1 && hasImage && m_image.width() > 0)
        drawImage(painter, imageTarget());

    if (m_cornerRadius > 0) {
        // Paint the corners over in the colour of what the banner sits on.
        QPainterPath outside;
        outside.addRect(r);
        QPainterPath rounded;
        rounded.addRoundedRect(r, m_cornerRadius, m_cornerRadius);
        const QColor behind = parentWidget()
                                      ? palette().color(QPalette::Window)
                                      : QColor::fromString(Theme::currentPalette().background);
        painter.fillPath(outside.subtracted(rounded), behind);
    }
}

} // namespace UI
