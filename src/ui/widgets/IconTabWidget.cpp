#include "ui/widgets/IconTabWidget.h"

#include "ui/widgets/IconTabBar.h"

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

} // namespace UI
