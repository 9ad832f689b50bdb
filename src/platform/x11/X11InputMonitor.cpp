#include "platform/x11/X11InputMonitor.h"

#include <cerrno>
#include <cstdlib>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace Platform::X11 {

namespace {

constexpr int stopWaitMs = 2000;
constexpr std::uint32_t rawEventMask = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS
                                       | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS
                                       | XCB_INPUT_XI_EVENT_MASK_RAW_MOTION;

struct Disconnect
{
    void operator()(xcb_connection_t *connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

} // namespace

X11InputMonitor::X11InputMonitor()
    : X11InputMonitor(&X11InputMonitor::queryXInput)
{
}

X11InputMonitor::X11InputMonitor(ExtensionQuery queryXInput)
    : m_queryXInput(std::move(queryXInput))
{
}

X11InputMonitor::~X11InputMonitor()
{
    stop();
}

void X11InputMonitor::start()
{
    if (m_running.exchange(true))
        return;
    m_thread = std::make_unique<EventLoopThread>(this);
    m_thread->setObjectName(QStringLiteral("input.x11"));
    m_thread->start(QThread::InheritPriority);
}

void X11InputMonitor::stop()
{
    if (!m_running.exchange(false) || !m_thread)
        return;
    m_thread->requestStop();
    // A QThread must never be destroyed while it runs. The loop wakes on the stop at once, so
    // the limit only passes while the thread is stuck in a connect to a hung server.
    if (!m_thread->wait(stopWaitMs)) {
        qWarning("X11InputMonitor: input thread did not stop within %d ms; waiting on", stopWaitMs);
        m_thread->wait();
    }
    m_thread.reset();
}

std::optional<std::uint8_t> X11InputMonitor::queryXInput(xcb_connection_t *connection)
{
    const xcb_query_extension_reply_t *extension
            = xcb_get_extension_data(connection, &xcb_input_id);
    if (!extension || !extension->present)
        return std::nullopt;
    return extension->major_opcode;
}

X11InputMonitor::EventLoopThread::EventLoopThread(X11InputMonitor *owner)
    : m_owner(owner)
    , m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (m_wakeFd < 0)
        qWarning("X11InputMonitor: eventfd failed (errno %d); stop waits for the next event",
                 errno);
}

X11InputMonitor::EventLoopThread::~EventLoopThread()
{
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void X11InputMonitor::EventLoopThread::requestStop()
{
    m_stop.exchange(true);
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        // A full counter already wakes the loop; nothing else can fail here.
        [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
    }
}

bool X11InputMonitor::EventLoopThread::waitForEventOrStop(xcb_connection_t *connection) const
{
    pollfd fds[2] = { { xcb_get_file_descriptor(connection), POLLIN, 0 }, { m_wakeFd, POLLIN, 0 } };
    const nfds_t count = m_wakeFd >= 0 ? 2 : 1;
    for (;;) {
        if (::poll(fds, count, -1) >= 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

void X11InputMonitor::EventLoopThread::run()
{
    Connection connection(xcb_connect(nullptr, nullptr));
    if (!connection || xcb_connection_has_error(connection.get()) != 0) {
        qWarning("X11InputMonitor: xcb_connect failed");
        return;
    }
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    if (screens.rem <= 0)
        return;
    const xcb_window_t root = screens.data->root;

    const std::optional<std::uint8_t> opcode = m_owner->m_queryXInput(connection.get());
    if (!opcode) {
        qWarning("X11InputMonitor: XInput2 extension not present");
        return;
    }
    // 2.2, not 2.0: a 2.0 client gets raw events only while no grab is active, so input during
    // window drags, open menus or grabbing programs would go uncounted.
    xcb_input_xi_query_version_reply_t *version = xcb_input_xi_query_version_reply(
            connection.get(), xcb_input_xi_query_version(connection.get(), 2, 2), nullptr);
    if (!version) {
        qWarning("X11InputMonitor: xi_query_version failed");
        return;
    }
    std::free(version);

    struct
    {
        xcb_input_event_mask_t header;
        std::uint32_t mask;
    } selection{ { XCB_INPUT_DEVICE_ALL_MASTER, 1 }, rawEventMask };
    xcb_input_xi_select_events(connection.get(), root, 1, &selection.header);
    xcb_flush(connection.get());

    while (!m_stop.load()) {
        xcb_generic_event_t *event = xcb_poll_for_event(connection.get());
        if (!event) {
            // The server went away: no event will ever come again.
            if (xcb_connection_has_error(connection.get()) != 0)
                return;
            // xcb_poll_for_event has read everything the socket held, so a readable socket
            // means new data; a hang-up shows as readable too and ends the loop above.
            if (!waitForEventOrStop(connection.get())) {
                qWarning("X11InputMonitor: poll failed (errno %d)", errno);
                return;
            }
            continue;
        }
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
            const auto *generic = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
            if (generic->extension == *opcode) {
                switch (generic->event_type) {
                case XCB_INPUT_RAW_KEY_PRESS:
                    Q_EMIT m_owner->keyPressed();
                    break;
                case XCB_INPUT_RAW_BUTTON_PRESS:
                    Q_EMIT m_owner->mouseClicked();
                    break;
                case XCB_INPUT_RAW_MOTION:
                    Q_EMIT m_owner->mouseMoved();
                    break;
                default:
                    break;
                }
            }
        }
        std::free(event);
    }
}

} // namespace Platform::X11
