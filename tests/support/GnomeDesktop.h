#pragma once

#include <QString>

namespace TestSupport {

// The control of the GNOME desktop a test runs on (tests/support/gnome/with-gnome-session;
// register the test with clockwarden_add_test GNOME). It answers as a user would, through the
// desktop's own keyboard and pointer. Each call waits in an event loop until the desktop has done
// it; a failure warns with the desktop's reason and returns false.
class GnomeDesktop final
{
public:
    // Whether the test runs on such a desktop.
    static bool isRunning();

    // Waits for the portal's "Screen Share" dialog and presses Share with every monitor selected,
    // or Cancel.
    static bool confirmShareDialog();
    static bool cancelShareDialog();
    static bool shareDialogShown();

    // A key by its keysym name ("Shift_L", "space", "a"), pressed and released.
    static bool pressKey(const QString &name);
    static bool movePointer(double dx, double dy);
};

} // namespace TestSupport
