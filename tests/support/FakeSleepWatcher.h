#pragma once

#include "platform/ISleepWatcher.h"

namespace TestSupport {

// A sleep watcher whose notices the test raises with Q_EMIT.
class FakeSleepWatcher final : public Platform::ISleepWatcher
{
    Q_OBJECT

public:
    using Platform::ISleepWatcher::ISleepWatcher;

    void start() override { ++starts; }
    void stop() override { ++stops; }

    int starts = 0;
    int stops = 0;
};

} // namespace TestSupport
