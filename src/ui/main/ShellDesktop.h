#pragma once

#include "ui/main/ApplicationTestHooks.h"

class QString;

// The few desktop questions the shell asks directly, each replaceable through
// Core::ApplicationTestHooks.
namespace UI::ShellDesktop {

bool systemTrayAvailable();
// A message box without parent, title "Tembrix Clockwarden", one OK button.
void showMessage(Core::ApplicationTestHooks::MessageKind kind, const QString &text);
std::unique_ptr<Platform::IPlatformIntegration> createPlatformIntegration();

} // namespace UI::ShellDesktop
