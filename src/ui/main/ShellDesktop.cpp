#include "ui/main/ShellDesktop.h"

#include "platform/PlatformIntegrationFactory.h"

#include <QMessageBox>
#include <QSystemTrayIcon>

namespace {

struct Hooks
{
    std::function<bool()> trayAvailable;
    std::function<void(Core::ApplicationTestHooks::MessageKind, const QString &)> messageBox;
    std::function<std::unique_ptr<Platform::IPlatformIntegration>()> platformFactory;
};

// GUI thread only, like everything that reads them.
Hooks &hooks()
{
    static Hooks instance;
    return instance;
}

} // namespace

namespace Core::ApplicationTestHooks {

void setSystemTrayAvailable(std::function<bool()> available)
{
    hooks().trayAvailable = std::move(available);
}

void setMessageBoxHandler(std::function<void(MessageKind kind, const QString &text)> handler)
{
    hooks().messageBox = std::move(handler);
}

void setPlatformIntegrationFactory(
        std::function<std::unique_ptr<Platform::IPlatformIntegration>()> factory)
{
    hooks().platformFactory = std::move(factory);
}

} // namespace Core::ApplicationTestHooks

namespace UI::ShellDesktop {

bool systemTrayAvailable()
{
    if (hooks().trayAvailable)
        return hooks().trayAvailable();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void showMessage(Core::ApplicationTestHooks::MessageKind kind, const QString &text)
{
    if (hooks().messageBox) {
        hooks().messageBox(kind, text);
        return;
    }
    // Plain text: the message may carry the server's words. The icon comes from the theme's style.
    const bool critical = kind == Core::ApplicationTestHooks::MessageKind::Critical;
    QMessageBox box(critical ? QMessageBox::Critical : QMessageBox::Information,
                    QStringLiteral("Tembrix Clockwarden"), text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::unique_ptr<Platform::IPlatformIntegration> createPlatformIntegration()
{
    if (hooks().platformFactory)
        return hooks().platformFactory();
    return Platform::createPlatformIntegration();
}

} // namespace UI::ShellDesktop
