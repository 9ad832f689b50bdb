#include "platform/LogindSleepWatcher.h"

#include <QDBusConnection>

using namespace Qt::StringLiterals;

namespace Platform {

namespace {

const auto service = u"org.freedesktop.login1"_s;
const auto path = u"/org/freedesktop/login1"_s;
const auto interface = u"org.freedesktop.login1.Manager"_s;
const auto signal = u"PrepareForSleep"_s;

} // namespace

LogindSleepWatcher::~LogindSleepWatcher()
{
    stop();
}

// The bus matches its slot by signature, so the two calls below name it as text.
void LogindSleepWatcher::start()
{
    if (m_subscribed)
        return;
    m_subscribed = QDBusConnection::systemBus().connect(service, path, interface, signal, this,
                                                        SLOT(onPrepareForSleep(bool)));
    if (!m_subscribed)
        qWarning("LogindSleepWatcher: failed to subscribe to PrepareForSleep");
}

void LogindSleepWatcher::stop()
{
    if (!m_subscribed)
        return;
    QDBusConnection::systemBus().disconnect(service, path, interface, signal, this,
                                            SLOT(onPrepareForSleep(bool)));
    m_subscribed = false;
}

void LogindSleepWatcher::onPrepareForSleep(bool starting)
{
    if (starting)
        Q_EMIT aboutToSleep();
    else
        Q_EMIT awoke();
}

} // namespace Platform
