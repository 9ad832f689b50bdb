#pragma once

#include "platform/wayland/EglFunctions.h"
#include "platform/wayland/IDmaBufImporter.h"

#include <QString>

#include <memory>

namespace Platform::Wayland {

// Imports DMA-BUF frames through EGL into an OpenGL ES 2 texture and reads them back, with no
// window: a display of the default device and a surfaceless context are enough. The display, the
// entry points and the context are made once; a failed step is never tried again for the
// importer's life (the next PipeWire session makes a new importer). No lock: see IDmaBufImporter
// for the threads. The EGL display is never terminated.
class DmaBufImporter final : public IDmaBufImporter
{
public:
    explicit DmaBufImporter(const EglFunctions &egl = EglFunctions::system());
    ~DmaBufImporter() override;

    DmaBufImporter(const DmaBufImporter &) = delete;
    DmaBufImporter &operator=(const DmaBufImporter &) = delete;

    bool ensureDisplay();
    bool ensureContext();
    bool isAvailable() override;
    QList<quint64> supportedModifiers(quint32 fourcc) override;
    // Frames come back as RGBX8888: screen-cast alpha carries nothing, and a zero alpha would
    // turn the picture black once it is scaled.
    QImage importToImage(quint32 fourcc, quint64 modifier, int width, int height, int planeCount,
                         const PlaneInts &fds, const PlaneOffsets &offsets,
                         const PlaneStrides &strides) override;
    // Destroys the context (when there is one) and forgets the display.
    void reset();

private:
    struct EglState;

    bool failDisplay(const QString &reason);
    bool failContext(const QString &step);
    bool resolveEntryPoints(EglState &state) const;

    EglFunctions m_egl;
    std::unique_ptr<EglState> m_state;
    bool m_failed = false;
};

} // namespace Platform::Wayland
