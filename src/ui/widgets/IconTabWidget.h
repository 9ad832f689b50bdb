#pragma once

#include <QTabWidget>

namespace UI {

class IconTabBar;

// A tab widget with its tabs at the bottom, drawn by an IconTabBar. GUI thread only.
class IconTabWidget final : public QTabWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IconTabWidget)

public:
    explicit IconTabWidget(QWidget *parent = nullptr);
    ~IconTabWidget() override;

    // The installed bar, for setting the tabs' icon paths.
    IconTabBar *iconTabBar() const { return m_bar; }
    // The parent addTab() gives a page. A page built under it is not moved there later, which
    // would make the style sheet polish its whole tree a second time.
    QWidget *pageParent();

private:
    IconTabBar *m_bar = nullptr;
};

} // namespace UI
