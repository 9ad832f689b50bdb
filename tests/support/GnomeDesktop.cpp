#include "GnomeDesktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QSignalSpy>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

const QString service = u"org.clockwarden.TestDesktop"_s;
// The dialog may take its time to come up on a loaded machine.
constexpr int callTimeoutMs = 90000;

// Waits in an event loop: the code under test keeps talking to the desktop meanwhile (the portal's
// dialog comes up only after several asynchronous steps of its own).
QDBusMessage call(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, u"/"_s, service, method);
    message.setArguments(arguments);
    QDBusPendingCallWatcher watcher(
            QDBusConnection::sessionBus().asyncCall(message, callTimeoutMs));
    if (!watcher.isFinished()) {
        QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
        finished.wait(callTimeoutMs + 1000);
    }
    const QDBusMessage reply = watcher.reply();
    // Straight to stderr: the code under test may have taken over Qt's message handler.
    if (reply.type() != QDBusMessage::ReplyMessage)
        std::fprintf(stderr, "the desktop could not %s: %s\n", qPrintable(method),
                     qPrintable(reply.errorMessage()));
    return reply;
}

bool succeeded(const QString &method, const QVariantList &arguments = {})
{
    return call(method, arguments).type() == QDBusMessage::ReplyMessage;
}

} // namespace

bool GnomeDesktop::isRunning()
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(service).value();
}

bool GnomeDesktop::confirmShareDialog()
{
    return succeeded(u"ConfirmShareDialog"_s);
}

bool GnomeDesktop::cancelShareDialog()
{
    return succeeded(u"CancelShareDialog"_s);
}

bool GnomeDesktop::shareDialogShown()
{
    const QDBusMessage reply = call(u"ShareDialogShown"_s);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
           && reply.arguments().constFirst().toBool();
}

bool GnomeDesktop::pressKey(const QString &name)
{
    return succeeded(u"PressKey"_s, { name });
}

bool GnomeDesktop::movePointer(double dx, double dy)
{
    return succeeded(u"MovePointer"_s, { dx, dy });
}

} // namespace TestSupport
