#include "ui/widgets/HeroBanner.h"

#include "ui/theme/Theme.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace UI {

HeroBanner::HeroBanner(QWidget *parent)
    : QWidget(parent)
{
    // The banner paints its whole rectangle itself; the sheet's QWidget background must not.
    setAttribute(Qt::WA_StyledBackground, false);
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

QRectF HeroBanner::imageTarget() const
{
    const double w = width();
    const double h = height();
    const double aspect = double(m_image.width()) / m_image.height();
    if (m_scaleMode != 1 || m_visibleFraction <= 0) {
        // Fit the height; a wider picture keeps its right edge, where the subject is.
        const double drawnWidth = m_image.width() * h / m_image.height();
        return QRectF(drawnWidth > w ? w - drawnWidth : 0.0, 0.0, drawnWidth, h);
    }
    const double drawnWidth = w / m_visibleFraction;
    const double drawnHeight = drawnWidth / aspect;
    return QRectF(w * 0.5 - m_focusX * drawnWidth, -(drawnHeight - h) * m_focusY, drawnWidth,
                  drawnHeight);
}

void HeroBanner::drawImage(QPainter &painter, const QRectF &target) const
{
    if (m_scaleMode != 1 || m_visibleFraction <= 0 || !m_fadeImage) {
        painter.drawPixmap(target, m_image, QRectF(m_image.rect()));
        return;
    }
    // Rebuilt on every paint: the ramp hides the left 48 % and reaches full strength at 80 %.
    QPixmap layer(size());
    layer.fill(Qt::transparent);
    {
        QPainter layerPainter(&layer);
        layerPainter.setRenderHint(QPainter::SmoothPixmapTransform);
        layerPainter.drawPixmap(target, m_image, QRectF(m_image.rect()));
        layerPainter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        QLinearGradient ramp(0, 0, width(), 0);
        ramp.setColorAt(0.0, QColor(0, 0, 0, 0));
        ramp.setColorAt(0.48, QColor(0, 0, 0, 0));
        ramp.setColorAt(0.8, QColor(0, 0, 0, 255));
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
        const Theme::Palette &palette = Theme::currentPalette();
        QLinearGradient gradient(0, 0, width(), 0);
        gradient.setColorAt(0.0, QColor::fromString(palette.gradientStart));
        gradient.setColorAt(0.55, QColor::fromString(palette.gradientMid));
        gradient.setColorAt(1.0, QColor::fromString(palette.gradientEnd));
        painter.fillRect(r, gradient);
    } else if (m_backgroundColor.isValid()) {
        painter.fillRect(r, m_backgroundColor);
    }

    if (!m_imageLoaded) {
        m_image = QPixmap(m_imagePath);
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
