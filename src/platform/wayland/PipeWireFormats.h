#pragma once

#include <QImage>
#include <QList>
#include <QtGlobal>

#include <cstdint>

struct spa_pod;
struct spa_pod_builder;

namespace Platform::Wayland {

class IDmaBufImporter;

// The pure parts of the screen-cast stream handling: format offers, the negotiated format's
// mapping, and the checks made on every buffer. No PipeWire objects are needed to use them.

inline constexpr quint64 drmFormatModInvalid = 0x00ffffffffffffffULL;
inline constexpr int maxOfferedModifiers = 64;
inline constexpr int formatParamsBufferSize = 16384;

// One DMA-BUF offer: an SPA raw-video format and the modifiers the driver imports for it.
struct DmaBufFormat
{
    uint32_t spaFormat = 0;
    QList<quint64> modifiers;
};

// The DRM fourcc of an SPA format (BGRx, BGRA, RGBx, RGBA), 0 for any other.
quint32 drmFourccForSpaFormat(uint32_t spaFormat);
// RGBx and RGBA store red first.
bool swapsRedBlue(uint32_t spaFormat);

// BGRx, BGRA, RGBx, RGBA in order, each with its first 64 importable modifiers; formats without
// any are left out. Empty when the importer is not available.
QList<DmaBufFormat> offeredDmaBufFormats(IDmaBufImporter &importer);

// The EnumFormat parameters of one stream, built into the builder: one DMA-BUF parameter per
// offer, then the shared-memory one. Null entries are never returned.
QList<const spa_pod *> buildFormatParams(spa_pod_builder &builder,
                                         const QList<DmaBufFormat> &dmaBufFormats);
// The Buffers parameter answering a negotiated format.
const spa_pod *buildBuffersParam(spa_pod_builder &builder, bool hasModifier);

// Whether a buffer is worth converting: while a capture waits, for a stream's first image, and
// when the stored image is at least 5000 ms old.
bool shouldConvertFrame(bool capturing, bool hasImage, qint64 nowMs, qint64 lastFrameMs);

// Whether a stream state change ends the whole session: an error, or falling back to
// unconnected after it had been paused or streaming.
bool endsSession(int oldState, int newState);

// Whether height rows of width 32-bit pixels at that stride lie inside the mapped block.
bool shmFrameFits(quint64 offset, qint64 stride, int width, int height, quint64 maxSize);

// An owned 32-bit RGB copy of a shared-memory frame; red and blue swapped for RGBx and RGBA.
QImage copyShmFrame(const uchar *pixels, qint64 stride, int width, int height, bool swapRedBlue);

} // namespace Platform::Wayland
