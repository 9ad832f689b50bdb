#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects every Qt message raised while it exists (on any thread), in place of the installed
// handler, which it restores when it goes. One capture at a time.
class MessageCapture final
{
public:
    MessageCapture()
    {
        clear();
        s_previous = qInstallMessageHandler(&MessageCapture::handle);
    }
    ~MessageCapture() { qInstallMessageHandler(s_previous); }

    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    QStringList messages(QtMsgType type) const
    {
        QMutexLocker locker(&s_mutex);
        QStringList texts;
        for (const auto &[messageType, text] : s_messages) {
            if (messageType == type)
                texts.append(text);
        }
        return texts;
    }

    QStringList debugStartingWith(const QString &prefix) const
    {
        QStringList texts;
        for (const QString &text : messages(QtDebugMsg)) {
            if (text.startsWith(prefix))
                texts.append(text);
        }
        return texts;
    }

    void clear()
    {
        QMutexLocker locker(&s_mutex);
        s_messages.clear();
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        QMutexLocker locker(&s_mutex);
        s_messages.append({ type, text });
    }

    static inline QMutex s_mutex;
    static inline QList<std::pair<QtMsgType, QString>> s_messages;
    static inline QtMessageHandler s_previous = nullptr;
};
