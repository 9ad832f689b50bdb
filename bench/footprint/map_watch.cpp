// Starts a program and prints the milliseconds until the X server maps its first top-level
// window, told by the server's own MapNotify events rather than by polling; then ends the program.
//
//   clockwarden-map-watch [--timeout SECONDS] -- program [arguments...]
//
// The program's windows are told apart by _NET_WM_PID. Exit status 0 with the milliseconds on
// standard output; 1 when the program ended or the timeout passed first; 2 on usage errors.

#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct FreeReply
{
    void operator()(void *reply) const { std::free(reply); }
};
template<typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The process id a window carries in _NET_WM_PID, or 0.
pid_t windowPid(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t pidAtom)
{
    ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, pidAtom, XCB_ATOM_CARDINAL, 0, 1),
            nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) != 4)
        return 0;
    return static_cast<pid_t>(*static_cast<std::uint32_t *>(xcb_get_property_value(reply.get())));
}

void endChild(pid_t child)
{
    kill(child, SIGTERM);
    for (int waited = 0; waited < 1000; ++waited) {
        if (waitpid(child, nullptr, WNOHANG) == child)
            return;
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

} // namespace

int main(int argc, char **argv)
{
    double timeoutSeconds = 30;
    int first = 1;
    if (first + 1 < argc && std::strcmp(argv[first], "--timeout") == 0) {
        timeoutSeconds = std::atof(argv[first + 1]);
        first += 2;
    }
    if (first < argc && std::strcmp(argv[first], "--") == 0)
        ++first;
    if (first >= argc) {
        std::fprintf(stderr, "usage: clockwarden-map-watch [--timeout S] -- program [args]\n");
        return 2;
    }

    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "clockwarden-map-watch: no X server\n");
        return 2;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_atom_t pidAtom = atom(connection, "_NET_WM_PID");
    // Reparenting puts the program's window into a frame, so the MapNotify of the program's own
    // window reaches the frame's watchers only. Watching every window that appears (children of
    // the root: new top-levels and frames; their children: reparented clients) sees it.
    const std::uint32_t substructure = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &substructure);
    xcb_flush(connection);

    const Clock::time_point started = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[first], argv + first);
        _exit(127);
    }

    const Clock::time_point deadline
            = started + std::chrono::milliseconds(static_cast<long>(timeoutSeconds * 1000));
    pollfd fd{ xcb_get_file_descriptor(connection), POLLIN, 0 };
    for (;;) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const int type = event->response_type & 0x7f;
            xcb_window_t mapped = XCB_NONE;
            if (type == XCB_CREATE_NOTIFY) {
                const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event);
                // Its own MapNotify too, in case the frame's mask is set after the mapping.
                const std::uint32_t both = substructure | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(connection, created->window, XCB_CW_EVENT_MASK, &both);
                xcb_flush(connection);
            } else if (type == XCB_MAP_NOTIFY) {
                mapped = reinterpret_cast<xcb_map_notify_event_t *>(event)->window;
            }
            std::free(event);
            if (mapped != XCB_NONE && windowPid(connection, mapped, pidAtom) == child) {
                const double ms
                        = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
                std::printf("%.1f\n", ms);
                std::fflush(stdout);
                endChild(child);
                xcb_disconnect(connection);
                return 0;
            }
        }
        if (xcb_connection_has_error(connection) != 0 || waitpid(child, nullptr, WNOHANG) == child)
            break;
        const auto left
                = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        // Wake at least every 100 ms to notice a program that ended without a window.
        if (poll(&fd, 1, static_cast<int>(std::min<long>(left.count(), 100))) < 0 && errno != EINTR)
            break;
    }
    std::fprintf(stderr, "clockwarden-map-watch: %s mapped no window\n", argv[first]);
    if (waitpid(child, nullptr, WNOHANG) == 0)
        endChild(child);
    xcb_disconnect(connection);
    return 1;
}
