#include "core/IdleDetector.h"

#include "platform/IIdleProvider.h"

#include <QTimer>

#include <algorithm>

namespace Core {

namespace {
constexpr int pollIntervalMs = 5000;
}

IdleDetector::IdleDetector(Platform::IIdleProvider *provider, QObject *parent)
    : QObject(parent)
    , m_provider(provider)
    , m_pollTimer(new QTimer(this))
{
    m_pollTimer->setObjectName(QStringLiteral("idlePollTimer"));
    m_pollTimer->setInterval(pollIntervalMs);
    connect(m_pollTimer, &QTimer::timeout, this, &IdleDetector::poll);
}

IdleDetector::~IdleDetector()
{
    m_pollTimer->stop();
    onIdle = nullptr;
    onActive = nullptr;
}

void IdleDetector::start(int minutes)
{
    stop();
    m_thresholdSeconds = qint64(std::max(1, minutes)) * 60;
    m_pollTimer->start();
}

void IdleDetector::stop()
{
    m_pollTimer->stop();
    m_idle = false;
}

void IdleDetector::poll()
{
    if (!m_provider)
        return;
    const qint64 seconds = m_provider->idleSeconds();
    if (seconds >= m_thresholdSeconds) {
        if (m_idle)
            return;
        m_idle = true;
        // A copy: the callback may replace or clear the member while it runs.
        const auto callback = onIdle;
        if (callback)
            callback();
    } else if (m_idle) {
        m_idle = false;
        const auto callback = onActive;
        if (callback)
            callback();
    }
}

} // namespace Core
