#include "platform/x11/X11IdleProvider.h"

#include <cstdlib>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

namespace Platform::X11 {

X11IdleProvider::X11IdleProvider()
    : m_connection(xcb_connect(nullptr, nullptr))
{
    if (xcb_connection_has_error(m_connection) != 0)
        return;
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    if (screens.rem > 0)
        m_root = screens.data->root;
    const xcb_query_extension_reply_t *extension
            = xcb_get_extension_data(m_connection, &xcb_screensaver_id);
    m_hasScreenSaver = extension && extension->present;
}

X11IdleProvider::~X11IdleProvider()
{
    // Also for a connection in error state, which xcb_connect hands out instead of null.
    xcb_disconnect(m_connection);
}

qint64 X11IdleProvider::idleSeconds()
{
    if (!m_connection || m_root == 0 || !m_hasScreenSaver
        || xcb_connection_has_error(m_connection) != 0)
        return 0;
    xcb_screensaver_query_info_reply_t *reply = xcb_screensaver_query_info_reply(
            m_connection, xcb_screensaver_query_info(m_connection, m_root), nullptr);
    if (!reply)
        return 0;
    const qint64 seconds = secondsFromMilliseconds(reply->ms_since_user_input);
    std::free(reply);
    return seconds;
}

qint64 X11IdleProvider::secondsFromMilliseconds(std::uint32_t milliseconds)
{
    return static_cast<qint64>(milliseconds / 1000);
}

} // namespace Platform::X11
