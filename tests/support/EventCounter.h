#pragma once

#include <QEvent>
#include <QObject>

// Counts the events of one type that reach the watched objects, for tests that a widget was not
// re-polished, re-fonted or re-laid out. Watches until destroyed.
class EventCounter final : public QObject
{
public:
    EventCounter(QEvent::Type type, const QList<QObject *> &watched)
        : m_type(type)
    {
        for (QObject *object : watched)
            object->installEventFilter(this);
    }

    int count() const { return m_count; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == m_type)
            ++m_count;
        return QObject::eventFilter(watched, event);
    }

private:
    QEvent::Type m_type;
    int m_count = 0;
};
