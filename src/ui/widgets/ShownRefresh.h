#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <utility>

class QWidget;
class QWindow;

namespace UI {

// Keeps a view's refresh off the clock while nobody can see the view: request() refreshes at once
// while the view is on screen, and otherwise only marks it stale, so that the refresh runs once,
// before the next paint, when the view is shown again. Off screen means hidden (its window, an
// ancestor, a stacked page or a tab hidden) or its window unmapped (minimised, or unmapped by the
// desktop). Requests meanwhile cost a flag. A view may also hand over what to release each time it
// leaves the screen. Owned by the view; GUI thread only.
class ShownRefresh final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShownRefresh)

public:
    ShownRefresh(QWidget *view, std::function<void()> refresh);
    ~ShownRefresh() override;

    void request();
    // Runs each time the view goes off screen (hidden, or its window unmapped): for what only
    // painting needs and the next paint can rebuild.
    void setReleaseOffScreen(std::function<void()> release) { m_release = std::move(release); }
    // Marks the view stale without refreshing, even while it is on screen.
    void invalidate() { m_stale = true; }
    bool isStale() const { return m_stale; }
    bool isOnScreen() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void watchWindow();
    void refreshIfStale();
    void release();

    QWidget *m_view = nullptr;
    std::function<void()> m_refresh;
    std::function<void()> m_release;
    QPointer<QWindow> m_window;
    bool m_unmapped = false;
    bool m_stale = false;
};

} // namespace UI
