#include "DbusMock.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTest>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

bool onBus(const QString &name)
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(name).value();
}

} // namespace

DbusMock::~DbusMock()
{
    stop();
}

bool DbusMock::start(const QString &busName, const QString &path, const QString &interface)
{
    m_busName = busName;
    m_path = path;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(u"/usr/bin/python3"_s, { u"-m"_s, u"dbusmock"_s, busName, path, interface });
    return waitForName();
}

bool DbusMock::startTemplate(const QString &templateName, const QString &busName,
                             const QString &path)
{
    m_busName = busName;
    m_path = path;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(u"/usr/bin/python3"_s,
                    { u"-m"_s, u"dbusmock"_s, u"--session"_s, u"--template"_s, templateName });
    return waitForName();
}

bool DbusMock::waitForName()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        qWarning("no private session bus: register the test with PRIVATE_BUS");
        return false;
    }
    if (!m_process.waitForStarted()) {
        qWarning("dbusmock did not start: %s", qPrintable(m_process.errorString()));
        return false;
    }
    const QString name = m_busName;
    if (!QTest::qWaitFor([name] { return onBus(name); }, 10000)) {
        qWarning("dbusmock did not take %s", qPrintable(name));
        stop();
        return false;
    }
    return true;
}

void DbusMock::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    const QString name = m_busName;
    if (!QTest::qWaitFor([name] { return !onBus(name); }, 5000))
        qWarning("dbusmock kept %s", qPrintable(name));
}

bool DbusMock::addMethod(const QString &interface, const QString &name, const QString &inSignature,
                         const QString &outSignature, const QString &body, const QString &path)
{
    QDBusMessage call
            = QDBusMessage::createMethodCall(m_busName, path.isEmpty() ? m_path : path,
                                             u"org.freedesktop.DBus.Mock"_s, u"AddMethod"_s);
    call.setArguments({ interface, name, inSignature, outSignature, body });
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        qWarning("AddMethod %s failed: %s", qPrintable(name), qPrintable(reply.errorMessage()));
        return false;
    }
    return true;
}

int DbusMock::callCount(const QString &method, const QString &path) const
{
    QDBusMessage call
            = QDBusMessage::createMethodCall(m_busName, path.isEmpty() ? m_path : path,
                                             u"org.freedesktop.DBus.Mock"_s, u"GetMethodCalls"_s);
    call.setArguments({ method });
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() == QDBusMessage::ErrorMessage || reply.arguments().isEmpty())
        return -1;
    const QDBusArgument calls = reply.arguments().constFirst().value<QDBusArgument>();
    int count = 0;
    calls.beginArray();
    while (!calls.atEnd()) {
        quint64 time = 0;
        QVariantList arguments;
        calls.beginStructure();
        calls >> time >> arguments;
        calls.endStructure();
        ++count;
    }
    calls.endArray();
    return count;
}

void DbusMock::clearCalls(const QString &path)
{
    const QDBusMessage call
            = QDBusMessage::createMethodCall(m_busName, path.isEmpty() ? m_path : path,
                                             u"org.freedesktop.DBus.Mock"_s, u"ClearCalls"_s);
    QDBusConnection::sessionBus().call(call);
}

} // namespace TestSupport
