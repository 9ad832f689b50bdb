#pragma once

#include "platform/IPlatformIntegration.h"

#include <QString>

#include <functional>
#include <memory>

// For tests only: the program never sets these. Tests run without a system tray and cannot click
// a message box that blocks in its own event loop, and they bring fakes for the desktop back ends.
namespace Core::ApplicationTestHooks {

enum class MessageKind { Information, Critical };

// Replaces the question whether the desktop offers a system tray; empty restores it.
void setSystemTrayAvailable(std::function<bool()> available);
// Receives the shell's message boxes instead of showing them; empty restores the boxes.
void setMessageBoxHandler(std::function<void(MessageKind kind, const QString &text)> handler);
// Replaces the platform-integration factory; empty restores the real one.
void setPlatformIntegrationFactory(
        std::function<std::unique_ptr<Platform::IPlatformIntegration>()> factory);

} // namespace Core::ApplicationTestHooks
