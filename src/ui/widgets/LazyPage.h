#pragma once

#include <QWidget>

#include <functional>

namespace UI {

// A page that builds its content the first time it is shown or asked for, so that a window opens
// without building what its first view does not show. The content fills the page edge to edge,
// and is built and laid out before the page's first paint. GUI thread only.
class LazyPage final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LazyPage)

public:
    using Factory = std::function<QWidget *(QWidget *parent)>;

    LazyPage(Factory factory, QWidget *parent = nullptr);
    ~LazyPage() override;

    // The content, built now if it was not yet.
    QWidget *content();
    bool isBuilt() const { return m_content != nullptr; }

protected:
    bool event(QEvent *event) override;

private:
    Factory m_factory;
    QWidget *m_content = nullptr;
};

} // namespace UI
