#pragma once

#include <QImage>
#include <QList>
#include <QRect>

#include <cstdint>
#include <functional>
#include <optional>

// The screen capture's steps without the X connection: which rectangles to grab from the RandR
// records, how to turn one GetImage reply into an image, and how grabs become the result list
// with its warnings. The capturer feeds them from the server; tests feed them tables.
namespace Platform::X11 {

struct RandrOutputState
{
    bool connected = false;
    std::uint32_t crtc = 0;
};

// One rectangle per output in the given order, from its CRTC: outputs without an answer, not
// connected, without a CRTC, or whose CRTC has no answer or a zero size are skipped. Mirrored
// outputs on one CRTC give one rectangle each.
QList<QRect> planScreenGrabs(
        const QList<std::uint32_t> &outputs,
        const std::function<std::optional<RandrOutputState>(std::uint32_t output)> &outputState,
        const std::function<std::optional<QRect>(std::uint32_t crtc)> &crtcGeometry);

// What the server's root window format says about a ZPixmap reply.
struct PixelFormat
{
    int depth = 0;
    int bitsPerPixel = 0;
    int scanlinePad = 0;
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
    bool leastSignificantByteFirst = true;
};

// How pixel data of the given length reads as an image of the size: Format_RGB32 or Format_RGB16
// rows of `stride` bytes. None for an unknown layout, or data shorter than the rows need.
struct PixelView
{
    QImage::Format format = QImage::Format_Invalid;
    qsizetype stride = 0;
};
std::optional<PixelView> pixelView(qsizetype length, const QSize &size, const PixelFormat &format);

// The image of a size w x h from the reply's pixel data, as RGB32 (deep copy). Depth 24 and 32
// with 32-bit pixels and depth 16 with 16-bit 5-6-5 pixels are taken; anything else, or data
// shorter than the rows need, gives a null image. Never reads past the data.
QImage imageFromPixels(const uchar *pixels, qsizetype length, const QSize &size,
                       const PixelFormat &format);

struct GrabResult
{
    enum class Kind { Image, Error, NoReply, Unusable };
    Kind kind = Kind::NoReply;
    QImage image;
    int errorCode = 0;
    // For Unusable: the reply's depth and data length.
    int depth = 0;
    qsizetype dataLength = 0;
};

// Runs grab for each rectangle and collects the images, logging each failed grab and, when
// nothing was taken although outputCount > 0, the warning that screenshots will be blank.
QList<QImage> takeScreenGrabs(const QList<QRect> &rectangles, int outputCount,
                              const std::function<GrabResult(const QRect &)> &grab);

} // namespace Platform::X11
