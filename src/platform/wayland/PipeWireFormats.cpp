#include "platform/wayland/PipeWireFormats.h"

#include <drm_fourcc.h>
#include <pipewire/stream.h>
#include <spa/buffer/buffer.h>
#include <spa/param/buffers.h>
#include <spa/param/format.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include "platform/wayland/IDmaBufImporter.h"

namespace Platform::Wayland {

namespace {

static_assert(drmFormatModInvalid == DRM_FORMAT_MOD_INVALID);

constexpr uint32_t offeredFormats[] = { SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                                        SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA };

void addSizeAndFramerate(spa_pod_builder &b)
{
    spa_rectangle defaultSize{ 1920, 1080 };
    spa_rectangle minSize{ 1, 1 };
    spa_rectangle maxSize{ 8192, 8192 };
    spa_fraction defaultRate{ 2, 1 };
    spa_fraction minRate{ 0, 1 };
    spa_fraction maxRate{ 2, 1 };
    spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_size,
                        SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize), 0);
    spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_framerate,
                        SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate), 0);
}

void addVideoRaw(spa_pod_builder &b)
{
    spa_pod_builder_add(&b, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video), 0);
    spa_pod_builder_add(&b, SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), 0);
}

const spa_pod *buildDmaBufParam(spa_pod_builder &b, const DmaBufFormat &offer)
{
    spa_pod_frame object{};
    spa_pod_frame choice{};
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    addVideoRaw(b);
    spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_format, SPA_POD_Id(offer.spaFormat), 0);
    spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_modifier,
                         SPA_POD_PROP_FLAG_MANDATORY | SPA_POD_PROP_FLAG_DONT_FIXATE);
    spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Enum, 0);
    // An enumeration starts with its default.
    spa_pod_builder_long(&b, int64_t(offer.modifiers.first()));
    for (const quint64 modifier : offer.modifiers)
        spa_pod_builder_long(&b, int64_t(modifier));
    spa_pod_builder_long(&b, int64_t(drmFormatModInvalid));
    spa_pod_builder_pop(&b, &choice);
    addSizeAndFramerate(b);
    return static_cast<const spa_pod *>(spa_pod_builder_pop(&b, &object));
}

const spa_pod *buildShmParam(spa_pod_builder &b)
{
    spa_pod_frame object{};
    spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    addVideoRaw(b);
    spa_pod_builder_add(&b, SPA_FORMAT_VIDEO_format,
                        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                                               SPA_VIDEO_FORMAT_RGBA),
                        0);
    addSizeAndFramerate(b);
    return static_cast<const spa_pod *>(spa_pod_builder_pop(&b, &object));
}

} // namespace

quint32 drmFourccForSpaFormat(uint32_t spaFormat)
{
    switch (spaFormat) {
    case SPA_VIDEO_FORMAT_BGRx:
        return DRM_FORMAT_XRGB8888;
    case SPA_VIDEO_FORMAT_BGRA:
        return DRM_FORMAT_ARGB8888;
    case SPA_VIDEO_FORMAT_RGBx:
        return DRM_FORMAT_XBGR8888;
    case SPA_VIDEO_FORMAT_RGBA:
        return DRM_FORMAT_ABGR8888;
    default:
        return 0;
    }
}

bool swapsRedBlue(uint32_t spaFormat)
{
    return spaFormat == SPA_VIDEO_FORMAT_RGBx || spaFormat == SPA_VIDEO_FORMAT_RGBA;
}

QList<DmaBufFormat> offeredDmaBufFormats(IDmaBufImporter &importer)
{
    QList<DmaBufFormat> offers;
    if (!importer.isAvailable())
        return offers;
    for (const uint32_t format : offeredFormats) {
        QList<quint64> modifiers = importer.supportedModifiers(drmFourccForSpaFormat(format));
        if (modifiers.size() > maxOfferedModifiers)
            modifiers.resize(maxOfferedModifiers);
        if (!modifiers.isEmpty())
            offers.append({ format, modifiers });
    }
    return offers;
}

QList<const spa_pod *> buildFormatParams(spa_pod_builder &builder,
                                         const QList<DmaBufFormat> &dmaBufFormats)
{
    QList<const spa_pod *> params;
    for (const DmaBufFormat &offer : dmaBufFormats) {
        if (const spa_pod *param = buildDmaBufParam(builder, offer))
            params.append(param);
    }
    if (const spa_pod *param = buildShmParam(builder))
        params.append(param);
    return params;
}

const spa_pod *buildBuffersParam(spa_pod_builder &builder, bool hasModifier)
{
    const int dataType
            = hasModifier ? 1 << SPA_DATA_DmaBuf : (1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd);
    return static_cast<const spa_pod *>(
            spa_pod_builder_add_object(&builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers,
                                       SPA_PARAM_BUFFERS_dataType, SPA_POD_Int(dataType)));
}

bool shouldConvertFrame(bool capturing, bool hasImage, qint64 nowMs, qint64 lastFrameMs)
{
    return capturing || !hasImage || nowMs - lastFrameMs > 4999;
}

bool endsSession(int oldState, int newState)
{
    if (newState == PW_STREAM_STATE_ERROR)
        return true;
    return newState == PW_STREAM_STATE_UNCONNECTED
           && (oldState == PW_STREAM_STATE_PAUSED || oldState == PW_STREAM_STATE_STREAMING);
}

bool shmFrameFits(quint64 offset, qint64 stride, int width, int height, quint64 maxSize)
{
    if (width <= 0 || height <= 0 || stride <= 0)
        return false;
    const quint64 rowBytes = quint64(width) * 4;
    const quint64 extent = offset + quint64(stride) * quint64(height - 1) + rowBytes;
    return extent <= maxSize;
}

QImage copyShmFrame(const uchar *pixels, qint64 stride, int width, int height, bool swapRedBlue)
{
    const QImage wrapped(pixels, width, height, stride, QImage::Format_RGB32);
    return swapRedBlue ? wrapped.rgbSwapped() : wrapped.copy();
}

} // namespace Platform::Wayland
