#include "ui/signin/PanelCard.h"

#include "ui/widgets/HeroBanner.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyleOption>

namespace UI {

namespace {

constexpr int kBlurRadius = 20;
constexpr int kOffsetY = 4;
const QColor kShadowColour(0, 0, 0, 12);

// The shadow of a shape (device pixels, premultiplied alpha) as the effect draws it, covering the
// shape's rectangle moved down by the offset and widened by the blur radius on every side. The
// effect runs once off screen with its shadow moved clear below the shape, by an even distance so
// that its half-scaled blur falls on the same pixel grid, and the shadow alone is cut out.
QImage shadowOf(const QImage &shape)
{
    const int width = shape.width();
    const int height = shape.height();
    const int gap = (height + 2 * kBlurRadius + 1) / 2 * 2;

    QGraphicsScene scene;
    auto *item = scene.addPixmap(QPixmap::fromImage(shape));
    auto *effect = new QGraphicsDropShadowEffect;
    effect->setBlurRadius(kBlurRadius);
    effect->setColor(kShadowColour);
    effect->setOffset(0, kOffsetY + gap);
    item->setGraphicsEffect(effect);

    // The scene draws the item only where its own rectangle is exposed: both are rendered, and
    // the shadow is cut out after.
    const QRect whole(-kBlurRadius, -kBlurRadius, width + 2 * kBlurRadius,
                      height + gap + kOffsetY + 2 * kBlurRadius);
    QImage rendered(whole.size(), QImage::Format_ARGB32_Premultiplied);
    rendered.fill(Qt::transparent);
    {
        QPainter painter(&rendered);
        scene.render(&painter, QRectF(QPointF(0, 0), QSizeF(whole.size())), QRectF(whole));
    }
    return rendered.copy(0, gap + kOffsetY, width + 2 * kBlurRadius, height + 2 * kBlurRadius);
}

// The area the shadow of a card with this geometry covers.
QRect shadowArea(const QRect &card)
{
    return card.translated(0, kOffsetY)
            .adjusted(-kBlurRadius, -kBlurRadius, kBlurRadius, kBlurRadius);
}

} // namespace

PanelCard::PanelCard(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground, true);
    setProperty("panelcard", true);
    watchParent();
}

PanelCard::~PanelCard()
{
    if (m_watched)
        m_watched->removeEventFilter(this);
}

QRect PanelCard::shadowRect() const
{
    return shadowArea(geometry());
}

void PanelCard::watchParent()
{
    if (m_watched == parentWidget())
        return;
    if (m_watched)
        m_watched->removeEventFilter(this);
    m_watched = parentWidget();
    if (m_watched)
        m_watched->installEventFilter(this);
}

bool PanelCard::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ParentChange:
        watchParent();
        break;
    case QEvent::Move:
    case QEvent::Resize:
        // The shadow reaches past the card, where the parent does not repaint by itself.
        if (m_watched && isVisible()) {
            QRect before = geometry();
            if (event->type() == QEvent::Move)
                before.moveTopLeft(static_cast<QMoveEvent *>(event)->oldPos());
            else if (const QSize old = static_cast<QResizeEvent *>(event)->oldSize(); old.isValid())
                before.setSize(old);
            m_watched->update(shadowArea(before).united(shadowRect()));
        }
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool PanelCard::eventFilter(QObject *watched, QEvent *event)
{
    // Under the card: the parent's own background is painted before its paint event, the card
    // and its children after it.
    if (watched == m_watched && event->type() == QEvent::Paint && isVisible()) {
        if (static_cast<QPaintEvent *>(event)->region().intersects(shadowRect())) {
            const QImage &image = shadow();
            // Radius and offset count in device pixels, as they did for the effect.
            const QPointF origin
                    = QPointF(pos())
                      + QPointF(-kBlurRadius, kOffsetY - kBlurRadius) / image.devicePixelRatio();
            QPainter painter(m_watched);
            painter.drawImage(origin, image);
        }
    }
    return QWidget::eventFilter(watched, event);
}

QImage PanelCard::shapeMask(qreal ratio) const
{
    // What the card paints opaque near its edges: its own rounded background, and the banner,
    // which paints its whole rectangle.
    QImage shape(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    shape.setDevicePixelRatio(ratio);
    shape.fill(Qt::transparent);
    QPainter painter(&shape);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    for (const HeroBanner *banner : findChildren<HeroBanner *>(Qt::FindDirectChildrenOnly))
        painter.fillRect(banner->geometry(), Qt::black);
    painter.end();
    shape.setDevicePixelRatio(1);
    return shape;
}

const QImage &PanelCard::shadow()
{
    const qreal ratio = devicePixelRatioF();
    const QSize key = size() * ratio;
    if (m_shadow.isNull() || m_shadowSize != key) {
        m_shadow = shadowOf(shapeMask(ratio));
        m_shadow.setDevicePixelRatio(ratio);
        m_shadowSize = key;
    }
    return m_shadow;
}

} // namespace UI
