#include "ui/widgets/LazyPage.h"

#include <QEvent>
#include <QVBoxLayout>

namespace UI {

LazyPage::LazyPage(Factory factory, QWidget *parent)
    : QWidget(parent)
    , m_factory(std::move(factory))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

LazyPage::~LazyPage() = default;

QWidget *LazyPage::content()
{
    if (m_content)
        return m_content;
    m_content = m_factory(this);
    m_factory = nullptr;
    layout()->addWidget(m_content);
    if (isVisible()) {
        // Built while on screen: shown and laid out now, not after a frame without it.
        m_content->show();
        layout()->activate();
    }
    return m_content;
}

bool LazyPage::event(QEvent *event)
{
    if (event->type() == QEvent::Show)
        content();
    return QWidget::event(event);
}

} // namespace UI
