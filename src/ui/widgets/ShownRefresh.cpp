#include "ui/widgets/ShownRefresh.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace UI {

ShownRefresh::ShownRefresh(QWidget *view, std::function<void()> refresh)
    : QObject(view)
    , m_view(view)
    , m_refresh(std::move(refresh))
{
    view->installEventFilter(this);
}

ShownRefresh::~ShownRefresh() = default;

bool ShownRefresh::isOnScreen() const
{
    return m_view->isVisible() && !m_unmapped;
}

void ShownRefresh::request()
{
    watchWindow();
    if (!isOnScreen()) {
        m_stale = true;
        return;
    }
    m_stale = false;
    m_refresh();
}

void ShownRefresh::watchWindow()
{
    QWindow *window = m_view->window()->windowHandle();
    if (window == m_window)
        return;
    if (m_window)
        m_window->removeEventFilter(this);
    m_window = window;
    m_unmapped = false;
    if (window)
        window->installEventFilter(this);
}

void ShownRefresh::refreshIfStale()
{
    if (!m_stale)
        return;
    m_stale = false;
    m_refresh();
}

void ShownRefresh::release()
{
    if (m_release)
        m_release();
}

bool ShownRefresh::eventFilter(QObject *watched, QEvent *event)
{
    // Both reach here before the paint that follows them: the show event the view's own, the
    // expose event its window's (a window mapped again shows its widgets without a show event).
    if (watched == m_view && event->type() == QEvent::Show) {
        watchWindow();
        refreshIfStale();
    } else if (watched == m_view && event->type() == QEvent::Hide) {
        release();
    } else if (watched == m_window && event->type() == QEvent::Expose) {
        const bool wasUnmapped = m_unmapped;
        m_unmapped = !m_window->isExposed();
        if (!m_unmapped && m_view->isVisible())
            refreshIfStale();
        else if (m_unmapped && !wasUnmapped && m_view->isVisible())
            release(); // A view already hidden was released at its hide event.
    }
    return QObject::eventFilter(watched, event);
}

} // namespace UI
