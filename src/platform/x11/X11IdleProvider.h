#pragma once

#include "platform/IIdleProvider.h"

#include <cstdint>

struct xcb_connection_t;

namespace Platform::X11 {

// Idle time from the MIT-SCREEN-SAVER extension, one round trip per call on the GUI thread. Owns
// its own X connection, opened here and closed at destruction.
class X11IdleProvider final : public IIdleProvider
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(X11IdleProvider)

public:
    X11IdleProvider();
    ~X11IdleProvider() override;

    // 0 without a usable connection, screen or extension, or when the server does not answer.
    qint64 idleSeconds() override;

    // The server's milliseconds since the last input, as whole seconds (remainder dropped).
    static qint64 secondsFromMilliseconds(std::uint32_t milliseconds);

private:
    xcb_connection_t *m_connection = nullptr;
    std::uint32_t m_root = 0;
    // Asked once: libxcb shuts the connection down on a request to an absent extension.
    bool m_hasScreenSaver = false;
};

} // namespace Platform::X11
