#pragma once

#include <QHash>
#include <QString>
#include <QTabBar>

#include <memory>

class QSvgRenderer;

namespace UI {

// The main window's bottom tab strip: equal-width tabs 50 px high, each a tinted SVG icon over
// its text, the current tab in tabCurrentColor and the others in tabIdleColor, on the chrome
// colour with a 1 px top line. Colours are read at every paint, so a palette change shows at the
// next repaint. Icon paths and renderers are kept by tab index and not re-keyed when tabs move.
// GUI thread only.
class IconTabBar final : public QTabBar
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IconTabBar)

public:
    explicit IconTabBar(QWidget *parent = nullptr);
    ~IconTabBar() override;

    // Not checked here; a path that does not load leaves the tab with its text only.
    void setTabIconPath(int index, const QString &path);
    // The renderer for the tab's path, built on first use and owned by the bar; null when the tab
    // has no path. A renderer whose file did not load is returned too: test it with isValid().
    QSvgRenderer *tabRenderer(int index);
    // Every tab: 50 px high and an equal share of the bar's width; 70 x 50 without tabs.
    QSize tabSizeHint(int index) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHash<int, QString> m_tabIconPaths;
    QHash<int, std::shared_ptr<QSvgRenderer>> m_rendererCache;
};

} // namespace UI
