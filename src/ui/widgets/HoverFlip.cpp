#include "ui/widgets/HoverFlip.h"

#include <QKeyEvent>
#include <QPainter>
#include <QVariantAnimation>
#include <QtMath>

#include <cmath>

namespace UI {

HoverFlip::HoverFlip(QWidget *parent)
    : QWidget(parent)
    , m_animation(new QVariantAnimation(this))
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    m_animation->setDuration(350);
    m_animation->setEasingCurve(QEasingCurve::InOutQuad);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_progress = value.toDouble();
        update();
    });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        m_animating = false;
        showSide(m_flipped);
        update();
    });
}

HoverFlip::~HoverFlip() = default;

void HoverFlip::setWidgets(QWidget *front, QWidget *back)
{
    m_front = front;
    m_back = back;
    for (QWidget *side : { front, back }) {
        if (side)
            side->setParent(this);
    }
    layOutSides();
    showSide(false);
}

void HoverFlip::setFlipped(bool flipped)
{
    if (flipped != m_flipped) {
        m_flipped = flipped;
        layOutSides();
        m_frontSnapshot = renderSnapshot(m_front);
        m_backSnapshot = renderSnapshot(m_back);
        if (m_front)
            m_front->hide();
        if (m_back)
            m_back->hide();
        m_animating = true;
        // Starting from the current progress turns a card back from where it is.
        m_animation->stop();
        m_animation->setStartValue(m_progress);
        m_animation->setEndValue(flipped ? 1.0 : 0.0);
        m_animation->start();
        Q_EMIT flippedChanged(flipped);
    } else if (m_animation->state() != QAbstractAnimation::Running) {
        showSide(flipped);
    }
}

void HoverFlip::showSide(bool flipped)
{
    if (m_front)
        m_front->setVisible(!flipped);
    if (m_back)
        m_back->setVisible(flipped);
}

QPixmap HoverFlip::renderSnapshot(QWidget *widget) const
{
    if (!widget || widget->width() < 1 || widget->height() < 1)
        return {};
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(int(std::lround(widget->width() * ratio)),
                   int(std::lround(widget->height() * ratio)));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    // Hidden widgets render too, so the side about to appear can be pictured.
    widget->render(&pixmap, QPoint(), QRegion(), QWidget::DrawChildren);
    return pixmap;
}

QSize HoverFlip::sizeHint() const
{
    QSize hint;
    if (m_front && m_back)
        hint = m_front->sizeHint().expandedTo(m_back->sizeHint());
    else if (m_front)
        hint = m_front->sizeHint();
    else if (m_back)
        hint = m_back->sizeHint();
    if (!hint.isValid())
        return QWidget::sizeHint();
    return hint;
}

void HoverFlip::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        Q_EMIT activated();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void HoverFlip::enterEvent(QEnterEvent *)
{
    setFlipped(true);
}

void HoverFlip::leaveEvent(QEvent *)
{
    setFlipped(false);
}

void HoverFlip::paintEvent(QPaintEvent *)
{
    if (!m_animating)
        return;
    const QPixmap &pixmap = m_progress >= 0.5 ? m_backSnapshot : m_frontSnapshot;
    if (pixmap.isNull())
        return;
    const double squeeze = std::abs(std::cos(M_PI * m_progress));
    const double w = width();
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRectF((w - squeeze * w) / 2, 0, squeeze * w, height()), pixmap,
                       QRectF(pixmap.rect()));
}

void HoverFlip::resizeEvent(QResizeEvent *)
{
    layOutSides();
}

void HoverFlip::layOutSides()
{
    for (QWidget *side : { m_front, m_back }) {
        if (side)
            side->setGeometry(rect());
    }
}

} // namespace UI
