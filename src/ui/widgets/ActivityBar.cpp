#include "ui/widgets/ActivityBar.h"

#include "ui/theme/ColorVariables.h"

#include <QPainter>

#include <algorithm>

namespace UI {

ActivityBar::ActivityBar(double percent, const QString &colour, int barHeight, QWidget *parent)
    : QWidget(parent)
    , m_percent(std::clamp(percent, 0.0, 100.0))
    , m_colour(colour)
    , m_barHeight(barHeight)
{
    setFixedHeight(barHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

ActivityBar::~ActivityBar() = default;

void ActivityBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const double w = width();
    const double h = height();
    const double radius = h / 2;
    painter.setBrush(QColor::fromString(Theme::borderColor));
    painter.drawRoundedRect(QRectF(0, 0, w, h), radius, radius);

    const double fill = w * m_percent / 100.0;
    if (fill <= 0.5)
        return;
    // Never narrower than tall, so a small value still shows as a full dot.
    painter.setBrush(QColor::fromString(m_colour));
    painter.drawRoundedRect(QRectF(0, 0, std::max(h, fill), h), radius, radius);
}

} // namespace UI
