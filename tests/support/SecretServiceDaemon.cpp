#include "SecretServiceDaemon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QTest>

#include "ChildProcess.h"

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

bool serviceOnBus()
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(u"org.freedesktop.secrets"_s).value();
}

} // namespace

SecretServiceDaemon::~SecretServiceDaemon()
{
    stop();
}

bool SecretServiceDaemon::start()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        qWarning("no private session bus: register the test with PRIVATE_BUS");
        return false;
    }
    // Stays in the foreground so that this object owns the process and can end it.
    m_process.start(u"gnome-keyring-daemon"_s,
                    { u"--foreground"_s, u"--unlock"_s, u"--components=secrets"_s });
    if (!m_process.waitForStarted()) {
        qWarning("gnome-keyring-daemon did not start: %s", qPrintable(m_process.errorString()));
        return false;
    }
    // --unlock reads the password of the login keyring from standard input.
    m_process.write("clockwarden-test");
    m_process.closeWriteChannel();
    if (!QTest::qWaitFor(serviceOnBus, 10000)) {
        qWarning("gnome-keyring-daemon did not take its bus name: %s",
                 m_process.readAllStandardError().constData());
        stop();
        return false;
    }
    return true;
}

void SecretServiceDaemon::stop()
{
    stopChildProcess(m_process);
}

QString SecretServiceDaemon::secretTool(const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(u"secret-tool"_s, arguments);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(10000))
        return {};
    return QString::fromUtf8(tool.readAll());
}

} // namespace TestSupport
