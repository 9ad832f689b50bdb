#include "ui/widgets/IconTabWidget.h"

#include "ui/widgets/IconTabBar.h"

#include <QStackedWidget>

namespace UI {

IconTabWidget::IconTabWidget(QWidget *parent)
    : QTabWidget(parent)
    , m_bar(new IconTabBar(this))
{
    setTabBar(m_bar);
    setTabPosition(QTabWidget::South);
    setDocumentMode(true);
}

IconTabWidget::~IconTabWidget() = default;

QWidget *IconTabWidget::pageParent()
{
    if (auto *stack = findChild<QStackedWidget *>(QString(), Qt::FindDirectChildrenOnly))
        return stack;
    return this;
}

} // namespace UI
