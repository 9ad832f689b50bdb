#include "platform/x11/X11CapturePlan.h"

#include <QSysInfo>

namespace Platform::X11 {

QList<QRect> planScreenGrabs(
        const QList<std::uint32_t> &outputs,
        const std::function<std::optional<RandrOutputState>(std::uint32_t output)> &outputState,
        const std::function<std::optional<QRect>(std::uint32_t crtc)> &crtcGeometry)
{
    QList<QRect> rectangles;
    for (const std::uint32_t output : outputs) {
        const std::optional<RandrOutputState> state = outputState(output);
        if (!state || !state->connected || state->crtc == 0)
            continue;
        const std::optional<QRect> geometry = crtcGeometry(state->crtc);
        if (!geometry || geometry->width() <= 0 || geometry->height() <= 0)
            continue;
        rectangles.append(*geometry);
    }
    return rectangles;
}

std::optional<PixelView> pixelView(qsizetype length, const QSize &size, const PixelFormat &format)
{
    if (size.isEmpty() || format.scanlinePad <= 0 || format.scanlinePad % 8 != 0)
        return std::nullopt;
    const bool rgb888 = (format.depth == 24 || format.depth == 32) && format.bitsPerPixel == 32
                        && format.redMask == 0xff0000 && format.greenMask == 0xff00
                        && format.blueMask == 0xff;
    const bool rgb565 = format.depth == 16 && format.bitsPerPixel == 16 && format.redMask == 0xf800
                        && format.greenMask == 0x07e0 && format.blueMask == 0x1f;
    // QImage reads pixels in host order.
    const bool hostOrder
            = format.leastSignificantByteFirst == (QSysInfo::ByteOrder == QSysInfo::LittleEndian);
    if ((!rgb888 && !rgb565) || !hostOrder)
        return std::nullopt;

    const qsizetype padBytes = format.scanlinePad / 8;
    const qsizetype rowBytes = qsizetype(size.width()) * format.bitsPerPixel / 8;
    const qsizetype stride = (rowBytes + padBytes - 1) / padBytes * padBytes;
    if (length < stride * size.height())
        return std::nullopt;
    return PixelView{ rgb888 ? QImage::Format_RGB32 : QImage::Format_RGB16, stride };
}

QImage imageFromPixels(const uchar *pixels, qsizetype length, const QSize &size,
                       const PixelFormat &format)
{
    const std::optional<PixelView> layout = pixelView(length, size, format);
    if (!pixels || !layout)
        return {};
    const QImage view(pixels, size.width(), size.height(), layout->stride, layout->format);
    // The copy owns its pixels; RGB32 ignores the top byte a depth-32 root may fill.
    return layout->format == QImage::Format_RGB32 ? view.copy()
                                                  : view.convertToFormat(QImage::Format_RGB32);
}

QList<QImage> takeScreenGrabs(const QList<QRect> &rectangles, int outputCount,
                              const std::function<GrabResult(const QRect &)> &grab)
{
    QList<QImage> images;
    for (const QRect &rectangle : rectangles) {
        const GrabResult result = grab(rectangle);
        switch (result.kind) {
        case GrabResult::Kind::Image:
            images.append(result.image);
            break;
        case GrabResult::Kind::Error:
            qWarning("X11ScreenCapturer: GetImage failed for %dx%d at (%d,%d): xcb error %d",
                     rectangle.width(), rectangle.height(), rectangle.x(), rectangle.y(),
                     result.errorCode);
            break;
        case GrabResult::Kind::NoReply:
            qWarning("X11ScreenCapturer: GetImage returned no reply for %dx%d at (%d,%d)",
                     rectangle.width(), rectangle.height(), rectangle.x(), rectangle.y());
            break;
        case GrabResult::Kind::Unusable:
            qWarning("X11ScreenCapturer: GetImage for %dx%d at (%d,%d) gave depth %d with %lld "
                     "bytes, which is no known pixel layout; skipped",
                     rectangle.width(), rectangle.height(), rectangle.x(), rectangle.y(),
                     result.depth, static_cast<long long>(result.dataLength));
            break;
        }
    }
    if (images.isEmpty() && outputCount > 0)
        qWarning("X11ScreenCapturer: captured 0 displays despite %d RandR output(s) — "
                 "screenshots will be blank (see prior GetImage warnings)",
                 outputCount);
    return images;
}

} // namespace Platform::X11
