#include "DBusMock.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QTest>

#include "ChildProcess.h"

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

const auto mockInterface = "org.freedesktop.DBus.Mock"_L1;

} // namespace

DBusMock::DBusMock(const QString &templateName, Bus bus)
    : m_template(templateName)
    , m_bus(bus)
{
}

DBusMock::~DBusMock()
{
    stop();
}

QDBusConnection DBusMock::connection() const
{
    return m_bus == Bus::System ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
}

bool DBusMock::start(const QString &serviceName, const QString &objectPath,
                     const QString &interface)
{
    const char *variable
            = m_bus == Bus::System ? "DBUS_SYSTEM_BUS_ADDRESS" : "DBUS_SESSION_BUS_ADDRESS";
    if (qEnvironmentVariableIsEmpty(variable)) {
        qWarning("no private bus (%s): register the test with PRIVATE_BUS or SYSTEM_BUS", variable);
        return false;
    }
    m_service = serviceName;
    m_path = objectPath;
    QStringList arguments{ u"-m"_s, u"dbusmock"_s };
    if (m_bus == Bus::System)
        arguments.append(u"--system"_s);
    if (m_template.isEmpty())
        arguments << serviceName << objectPath << interface;
    else
        arguments << u"--template"_s << m_template;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The python3 first on PATH may lack the dbus module.
    m_process.start(u"/usr/bin/python3"_s, arguments);
    if (!m_process.waitForStarted()) {
        qWarning("dbusmock did not start: %s", qPrintable(m_process.errorString()));
        return false;
    }
    const auto owned = [this] {
        const QDBusConnectionInterface *bus = connection().interface();
        return bus && bus->isServiceRegistered(m_service).value();
    };
    if (!QTest::qWaitFor(owned, 10000)) {
        qWarning("dbusmock did not take %s", qPrintable(m_service));
        stop();
        return false;
    }
    return true;
}

void DBusMock::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    stopChildProcess(m_process);
    // Wait for the bus to drop the name, so that a following check sees no service.
    const auto released = [this] {
        const QDBusConnectionInterface *bus = connection().interface();
        return !bus || !bus->isServiceRegistered(m_service).value();
    };
    if (!QTest::qWaitFor(released, 5000))
        qWarning("the bus still lists %s", qPrintable(m_service));
}

QList<DBusMock::Call> DBusMock::calls() const
{
    QDBusMessage request
            = QDBusMessage::createMethodCall(m_service, m_path, mockInterface, u"GetCalls"_s);
    const QDBusMessage reply = connection().call(request);
    QList<Call> result;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return result;
    // a(tsav): time, method name, arguments.
    const auto argument = reply.arguments().constFirst().value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        Call call;
        quint64 time = 0;
        argument.beginStructure();
        argument >> time >> call.method;
        argument.beginArray();
        while (!argument.atEnd()) {
            QDBusVariant value;
            argument >> value;
            call.arguments.append(value.variant());
        }
        argument.endArray();
        argument.endStructure();
        result.append(call);
    }
    argument.endArray();
    return result;
}

int DBusMock::callCount(const QString &method) const
{
    int count = 0;
    for (const Call &call : calls()) {
        if (call.method == method)
            ++count;
    }
    return count;
}

void DBusMock::clearCalls() const
{
    connection().call(
            QDBusMessage::createMethodCall(m_service, m_path, mockInterface, u"ClearCalls"_s));
}

bool DBusMock::addMethod(const QString &interface, const QString &name, const QString &inSignature,
                         const QString &outSignature, const QString &body) const
{
    QDBusMessage request
            = QDBusMessage::createMethodCall(m_service, m_path, mockInterface, u"AddMethod"_s);
    request << interface << name << inSignature << outSignature << body;
    const QDBusMessage reply = connection().call(request);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        qWarning("AddMethod %s failed: %s", qPrintable(name), qPrintable(reply.errorMessage()));
        return false;
    }
    return true;
}

bool DBusMock::emitSignal(const QString &interface, const QString &name, const QString &signature,
                          const QVariantList &arguments) const
{
    QDBusMessage request
            = QDBusMessage::createMethodCall(m_service, m_path, mockInterface, u"EmitSignal"_s);
    request << interface << name << signature << QVariant::fromValue(arguments);
    return connection().call(request).type() == QDBusMessage::ReplyMessage;
}

} // namespace TestSupport
