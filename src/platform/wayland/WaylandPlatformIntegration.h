#pragma once

#include "platform/PlatformIntegration.h"

#include <memory>

namespace Platform::Wayland {

// The Wayland back end: the idle provider of whichever desktop idle service answers, the input
// estimate built on it, the ScreenCast portal capturer (or GNOME Shell's screenshot service when
// the portal lacks ScreenCast), and the logind sleep watcher. Construction blocks the GUI thread
// for its bus probes: up to four idle calls of 1000 ms, the portal's introspection of 3000 ms and
// a name query. The choices are made once.
class WaylandPlatformIntegration final : public PlatformIntegration
{
public:
    WaylandPlatformIntegration();

    static std::unique_ptr<IScreenCapturer> createScreenCapturer();

private:
    static Factories factories();
};

} // namespace Platform::Wayland
