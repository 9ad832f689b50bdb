#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <pipewire/pipewire.h>

#include <QString>

#include "platform/wayland/IDmaBufImporter.h"

namespace Platform::Wayland {

class WaylandScreenCapturer;

// One screen-cast stream; its callbacks get it as user data on the PipeWire thread.
struct StreamData
{
    WaylandScreenCapturer *capturer = nullptr;
    pw_stream *stream = nullptr;
    spa_hook listener{};
    int index = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    bool swapRedBlue = false;
    bool sizeValid = false;
    bool hasImage = false;
    int64_t lastFrameMs = 0;
    bool hasModifier = false;
    uint64_t modifier = 0;
    uint32_t drmFourcc = 0;
};

// The PipeWire side of one portal session: a thread loop, its context, the core connected over
// the portal's descriptor, and one stream per shared screen.
struct PipeWireState
{
    pw_thread_loop *loop = nullptr;
    pw_context *context = nullptr;
    pw_core *core = nullptr;
    std::vector<std::unique_ptr<StreamData>> streamRecords;
    std::unique_ptr<IDmaBufImporter> importer;
    // The portal session this PipeWire connection belongs to, closed with it.
    QString sessionHandle;
};

} // namespace Platform::Wayland
