#pragma once

#include <QImage>
#include <QList>
#include <QtGlobal>

#include <array>

namespace Platform::Wayland {

// Reads DMA-BUF screen-cast frames back into images. The capturer asks for modifiers on the GUI
// thread before its PipeWire loop runs; imports then run on the PipeWire thread only.
class IDmaBufImporter
{
public:
    using PlaneInts = std::array<int, 4>;
    using PlaneOffsets = std::array<quint32, 4>;
    using PlaneStrides = std::array<qint32, 4>;

    virtual ~IDmaBufImporter() = default;

    virtual bool isAvailable() = 0;
    // The modifiers the driver can import for the DRM fourcc, in the driver's order; empty when
    // none or when it cannot tell.
    virtual QList<quint64> supportedModifiers(quint32 fourcc) = 0;
    // The first planeCount entries of each array count. The descriptors stay the caller's. A null
    // image on any failure.
    virtual QImage importToImage(quint32 fourcc, quint64 modifier, int width, int height,
                                 int planeCount, const PlaneInts &fds, const PlaneOffsets &offsets,
                                 const PlaneStrides &strides)
            = 0;
};

} // namespace Platform::Wayland
