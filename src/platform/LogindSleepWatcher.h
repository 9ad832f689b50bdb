#pragma once

#include "platform/ISleepWatcher.h"

namespace Platform {

// systemd-logind's PrepareForSleep notice on the system bus, turned into aboutToSleep (true)
// and awoke (false). Lives on the GUI thread, where the bus delivers the notice. A failed start
// logs a warning and leaves the watcher unsubscribed, so a later start tries again.
class LogindSleepWatcher final : public ISleepWatcher
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogindSleepWatcher)

public:
    LogindSleepWatcher() = default;
    ~LogindSleepWatcher() override;

    void start() override;
    void stop() override;

private Q_SLOTS:
    void onPrepareForSleep(bool starting);

private:
    bool m_subscribed = false;
};

} // namespace Platform
