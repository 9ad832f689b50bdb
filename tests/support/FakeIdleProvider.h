#pragma once

#include "platform/IIdleProvider.h"

namespace TestSupport {

// An idle provider whose answer the test sets.
class FakeIdleProvider final : public Platform::IIdleProvider
{
    Q_OBJECT

public:
    using Platform::IIdleProvider::IIdleProvider;

    qint64 idleSeconds() override
    {
        ++calls;
        return seconds;
    }
    bool isAvailable() override { return available; }

    qint64 seconds = 0;
    bool available = true;
    int calls = 0;
};

} // namespace TestSupport
