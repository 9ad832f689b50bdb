#include "platform/CrashReports.h"
#include "platform/PlatformKind.h"
#include "storage/Log.h"
#include "ui/main/Application.h"
#include "ui/theme/Theme.h"

#include <QApplication>

#include <cstdio>

#include <malloc.h>
#include <sys/stat.h>

namespace {

// Qt's platform plugins that draw without a display server.
bool platformNeedsNoDisplay()
{
    const QString requested = qEnvironmentVariable("QT_QPA_PLATFORM");
    const QString first = requested.section(QLatin1Char(';'), 0, 0).section(QLatin1Char(':'), 0, 0);
    return first == QLatin1String("offscreen") || first == QLatin1String("minimal");
}

// Without a display the QApplication aborts before any box could show, so refuse in plain text.
bool refuseWithoutDisplay()
{
    Platform::detectPlatform();
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        || platformNeedsNoDisplay()) {
        return false;
    }
    const QString text = QStringLiteral(
            "No display server detected (DISPLAY/XDG_SESSION_TYPE unset). Tembrix Clockwarden "
            "requires an X11 graphical session to run.");
    Core::Log::install();
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Error, text);
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    // Screenshots, the work record and the log are the user's alone: everything made from here
    // on is closed to other users, whatever the umask of the desktop session.
    ::umask(077);
    // A fixed threshold turns off glibc's sliding one, which after the first large free (a
    // decoded banner, 5 MiB) would serve the next such buffers from the heap and keep them there
    // once freed. At glibc's own starting value, big pixel buffers keep their own mappings and
    // go back to the system when freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    Platform::installCrashHandlers();
    if (refuseWithoutDisplay())
        return 1;

    QApplication app(argc, argv);
    UI::Theme::apply(app);
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setOrganizationName(QStringLiteral("Tembrix"));
    QApplication::setApplicationName(QStringLiteral("Clockwarden"));
    QApplication::setOrganizationDomain(QStringLiteral("tembrix.com"));
    QApplication::setDesktopFileName(QStringLiteral("tembrix-clockwarden"));

    int status = 1;
    {
        Core::Application application;
        if (application.start())
            status = application.exec();
    }
    return status;
}
