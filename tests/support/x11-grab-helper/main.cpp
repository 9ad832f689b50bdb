// Grabs the pointer and the keyboard on the root window of DISPLAY, prints "grabbed" and holds
// both grabs until standard input closes. Exits 1 when either grab fails.
#include <cstdio>
#include <cstdlib>

#include <unistd.h>
#include <xcb/xcb.h>

int main()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0)
        return 1;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;

    xcb_grab_pointer_reply_t *pointer = xcb_grab_pointer_reply(
            connection,
            xcb_grab_pointer(connection, 0, root,
                             XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE
                                     | XCB_EVENT_MASK_POINTER_MOTION,
                             XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE,
                             XCB_CURRENT_TIME),
            nullptr);
    xcb_grab_keyboard_reply_t *keyboard
            = xcb_grab_keyboard_reply(connection,
                                      xcb_grab_keyboard(connection, 0, root, XCB_CURRENT_TIME,
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                      nullptr);
    const bool grabbed = pointer && pointer->status == XCB_GRAB_STATUS_SUCCESS && keyboard
                         && keyboard->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(pointer);
    std::free(keyboard);
    if (!grabbed) {
        xcb_disconnect(connection);
        return 1;
    }
    std::puts("grabbed");
    std::fflush(stdout);

    char buffer[64];
    while (::read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
    }
    xcb_disconnect(connection);
    return 0;
}
