#pragma once

#include "platform/IInputMonitor.h"

#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct xcb_connection_t;

namespace Platform::X11 {

// Counts raw key presses, button presses (the wheel included) and pointer motion through
// XInput 2.2 on a thread of its own ("input.x11") with its own X connection. The signals come
// from that thread; receivers on the GUI thread get them queued. start() and stop() belong to
// the GUI thread. When the thread gives up (no server, no XInput), it logs why and the monitor
// stays started: only stop() and start() try again.
class X11InputMonitor final : public IInputMonitor
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(X11InputMonitor)

public:
    // The XInput major opcode on the connection, or none when the server lacks the extension.
    using ExtensionQuery = std::function<std::optional<std::uint8_t>(xcb_connection_t *)>;

    X11InputMonitor();
    // Tests stand in for the server's answer about XInput, which Xvfb cannot leave out.
    explicit X11InputMonitor(ExtensionQuery queryXInput);
    ~X11InputMonitor() override;

    void start() override;
    void stop() override;

    static std::optional<std::uint8_t> queryXInput(xcb_connection_t *connection);

private:
    class EventLoopThread;

    ExtensionQuery m_queryXInput;
    std::unique_ptr<EventLoopThread> m_thread;
    std::atomic_bool m_running{ false };
};

// Reads the raw events; emits its owner's signals.
class X11InputMonitor::EventLoopThread final : public QThread
{
    Q_DISABLE_COPY_MOVE(EventLoopThread)

public:
    explicit EventLoopThread(X11InputMonitor *owner);
    ~EventLoopThread() override;

    void requestStop();

protected:
    void run() override;

private:
    // Sleeps until the server sends something or stop() is asked for.
    bool waitForEventOrStop(xcb_connection_t *connection) const;

    X11InputMonitor *m_owner;
    std::atomic_bool m_stop{ false };
    // An eventfd that requestStop() makes readable to wake the waiting loop.
    int m_wakeFd = -1;
};

} // namespace Platform::X11
