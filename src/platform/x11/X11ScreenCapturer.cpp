#include "platform/x11/X11ScreenCapturer.h"

#include "platform/x11/X11CapturePlan.h"

#include <cstdlib>
#include <memory>

#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace Platform::X11 {

namespace {

struct FreeReply
{
    void operator()(void *reply) const { std::free(reply); }
};
template<typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

struct Disconnect
{
    void operator()(xcb_connection_t *connection) const { xcb_disconnect(connection); }
};

// The pixel layout of the root window's depth and visual.
PixelFormat rootPixelFormat(const xcb_setup_t *setup, const xcb_screen_t *screen)
{
    PixelFormat format;
    format.depth = screen->root_depth;
    format.leastSignificantByteFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
         xcb_format_next(&formats)) {
        if (formats.data->depth == screen->root_depth) {
            format.bitsPerPixel = formats.data->bits_per_pixel;
            format.scanlinePad = formats.data->scanline_pad;
        }
    }
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen->root_visual) {
                format.redMask = visuals.data->red_mask;
                format.greenMask = visuals.data->green_mask;
                format.blueMask = visuals.data->blue_mask;
            }
        }
    }
    return format;
}

} // namespace

QList<QImage> X11ScreenCapturer::captureScreens()
{
    const std::unique_ptr<xcb_connection_t, Disconnect> owned(xcb_connect(nullptr, nullptr));
    xcb_connection_t *connection = owned.get();
    if (!connection || xcb_connection_has_error(connection) != 0)
        return {};
    const xcb_setup_t *setup = xcb_get_setup(connection);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (screens.rem <= 0)
        return {};
    const xcb_screen_t *screen = screens.data;
    const xcb_window_t root = screen->root;

    // libxcb shuts the connection down on a request to an absent extension.
    const xcb_query_extension_reply_t *randr = xcb_get_extension_data(connection, &xcb_randr_id);
    if (!randr || !randr->present)
        return {};
    const ReplyPtr<xcb_randr_get_screen_resources_current_reply_t> resources(
            xcb_randr_get_screen_resources_current_reply(
                    connection, xcb_randr_get_screen_resources_current(connection, root), nullptr));
    if (!resources)
        return {};
    const xcb_randr_output_t *outputData
            = xcb_randr_get_screen_resources_current_outputs(resources.get());
    const int outputCount = xcb_randr_get_screen_resources_current_outputs_length(resources.get());
    const QList<std::uint32_t> outputs(outputData, outputData + outputCount);
    const xcb_timestamp_t configTimestamp = resources->config_timestamp;

    const auto outputState = [&](std::uint32_t output) -> std::optional<RandrOutputState> {
        const ReplyPtr<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
                connection, xcb_randr_get_output_info(connection, output, configTimestamp),
                nullptr));
        if (!info)
            return std::nullopt;
        return RandrOutputState{ info->connection == XCB_RANDR_CONNECTION_CONNECTED, info->crtc };
    };
    const auto crtcGeometry = [&](std::uint32_t crtc) -> std::optional<QRect> {
        const ReplyPtr<xcb_randr_get_crtc_info_reply_t> info(xcb_randr_get_crtc_info_reply(
                connection, xcb_randr_get_crtc_info(connection, crtc, configTimestamp), nullptr));
        if (!info)
            return std::nullopt;
        return QRect(info->x, info->y, info->width, info->height);
    };
    const PixelFormat format = rootPixelFormat(setup, screen);
    const auto grab = [&](const QRect &rectangle) {
        GrabResult result;
        xcb_generic_error_t *error = nullptr;
        ReplyPtr<xcb_get_image_reply_t> reply(xcb_get_image_reply(
                connection,
                xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, rectangle.x(),
                              rectangle.y(), rectangle.width(), rectangle.height(), 0xFFFFFFFF),
                &error));
        if (error) {
            result.kind = GrabResult::Kind::Error;
            result.errorCode = error->error_code;
            std::free(error);
            return result;
        }
        if (!reply)
            return result;
        const int length = xcb_get_image_data_length(reply.get());
        PixelFormat replyFormat = format;
        replyFormat.depth = reply->depth;
        result.depth = reply->depth;
        result.dataLength = length;
        const std::optional<PixelView> layout = pixelView(length, rectangle.size(), replyFormat);
        if (layout && layout->format == QImage::Format_RGB32) {
            // The image takes the reply over and frees it with its last copy: no copy of the
            // pixels on the GUI thread.
            xcb_get_image_reply_t *owned = reply.release();
            result.image = QImage(
                    xcb_get_image_data(owned), rectangle.width(), rectangle.height(),
                    layout->stride, QImage::Format_RGB32, [](void *data) { std::free(data); },
                    owned);
        } else {
            result.image = imageFromPixels(xcb_get_image_data(reply.get()), length,
                                           rectangle.size(), replyFormat);
        }
        result.kind = result.image.isNull() ? GrabResult::Kind::Unusable : GrabResult::Kind::Image;
        return result;
    };

    return takeScreenGrabs(planScreenGrabs(outputs, outputState, crtcGeometry), outputCount, grab);
}

} // namespace Platform::X11
