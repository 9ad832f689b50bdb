#include "ui/widgets/IconTabBar.h"

#include "ui/theme/ColorVariables.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <cmath>

namespace UI {

namespace {

constexpr int tabHeight = 50;
constexpr int iconSide = 22;

} // namespace

IconTabBar::IconTabBar(QWidget *parent)
    : QTabBar(parent)
{
    setDrawBase(false);
    setExpanding(true);
    setUsesScrollButtons(false);
    setFocusPolicy(Qt::NoFocus);
}

IconTabBar::~IconTabBar() = default;

void IconTabBar::setTabIconPath(int index, const QString &path)
{
    m_tabIconPaths.insert(index, path);
    m_rendererCache.remove(index);
    update();
}

QSvgRenderer *IconTabBar::tabRenderer(int index)
{
    if (const auto cached = m_rendererCache.constFind(index); cached != m_rendererCache.constEnd())
        return cached->get();
    const QString path = m_tabIconPaths.value(index);
    if (path.isEmpty())
        return nullptr;
    auto renderer = std::make_shared<QSvgRenderer>(path);
    m_rendererCache.insert(index, renderer);
    return renderer.get();
}

QSize IconTabBar::tabSizeHint(int) const
{
    if (count() == 0)
        return QSize(70, tabHeight);
    return QSize(width() / count(), tabHeight);
}

void IconTabBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor::fromString(Theme::chromeColor));
    painter.setPen(QColor::fromString(Theme::borderColor));
    painter.drawLine(0, 0, width() - 1, 0);

    QFont textFont = font();
    textFont.setPointSizeF(9.5);
    textFont.setWeight(QFont::Normal);
    painter.setFont(textFont);

    const qreal ratio = devicePixelRatioF();
    const int side = int(std::lround(iconSide * ratio));
    for (int i = 0; i < count(); ++i) {
        const QRect r = tabRect(i);
        if (r.right() < r.left() || r.bottom() < r.top())
            continue;
        const QColor colour = QColor::fromString(i == currentIndex() ? Theme::tabCurrentColor
                                                                     : Theme::tabIdleColor);
        QSvgRenderer *renderer = tabRenderer(i);
        if (renderer && renderer->isValid()) {
            QPixmap icon(side, side);
            icon.setDevicePixelRatio(ratio);
            icon.fill(Qt::transparent);
            {
                QPainter iconPainter(&icon);
                iconPainter.setRenderHint(QPainter::Antialiasing);
                renderer->render(&iconPainter, QRectF(0, 0, iconSide, iconSide));
                iconPainter.setCompositionMode(QPainter::CompositionMode_SourceIn);
                iconPainter.fillRect(QRectF(0, 0, iconSide, iconSide), colour);
            }
            const int cx = (r.left() + r.right()) / 2;
            painter.drawPixmap(cx - iconSide / 2, r.top() + 7, icon);
        }
        painter.setPen(colour);
        painter.drawText(QRect(QPoint(r.left(), r.top() + 30), QPoint(r.right(), r.bottom())),
                         Qt::AlignTop | Qt::AlignHCenter, tabText(i));
    }
}

} // namespace UI
