#include "FakePortal.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QJsonDocument>
#include <QTest>

#include "ChildProcess.h"

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

const QString portalName = u"org.freedesktop.portal.Desktop"_s;

bool portalOnBus()
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(portalName).value();
}

QString scriptPath()
{
    const QString helper = qEnvironmentVariable("CLOCKWARDEN_HELPER_FAKE_PORTAL");
    return helper.isEmpty() ? QStringLiteral(CLOCKWARDEN_FAKE_PORTAL_SCRIPT) : helper;
}

QDBusMessage control(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage call = QDBusMessage::createMethodCall(portalName, u"/org/clockwarden/FakePortal"_s,
                                                       u"org.clockwarden.FakePortal"_s, method);
    call.setArguments(arguments);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning("fake portal %s failed: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    return reply;
}

} // namespace

FakePortal::~FakePortal()
{
    stop();
}

bool FakePortal::start()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        qWarning("no private session bus: register the test with PRIVATE_BUS");
        return false;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(u"/usr/bin/python3"_s, { scriptPath() });
    if (!m_process.waitForStarted()) {
        qWarning("the fake portal did not start: %s", qPrintable(m_process.errorString()));
        return false;
    }
    if (!QTest::qWaitFor(portalOnBus, 10000)) {
        qWarning("the fake portal did not take its bus name");
        stop();
        return false;
    }
    return true;
}

void FakePortal::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    stopChildProcess(m_process);
    if (!QTest::qWaitFor([] { return !portalOnBus(); }, 5000))
        qWarning("the fake portal kept its bus name");
}

void FakePortal::configure(const QString &method, const QJsonObject &behaviour)
{
    control(u"Configure"_s,
            { method, QString::fromUtf8(QJsonDocument(behaviour).toJson(QJsonDocument::Compact)) });
}

void FakePortal::setStreams(const QList<uint> &nodeIds)
{
    control(u"SetStreams"_s, { QVariant::fromValue(nodeIds) });
}

void FakePortal::setIntrospection(const QString &text)
{
    control(u"SetIntrospection"_s, { text });
}

QJsonArray FakePortal::calls() const
{
    const QDBusMessage reply = control(u"Calls"_s);
    if (reply.arguments().isEmpty())
        return {};
    return QJsonDocument::fromJson(reply.arguments().constFirst().toString().toUtf8()).array();
}

QJsonArray FakePortal::calls(const QString &method) const
{
    QJsonArray matching;
    for (const QJsonValue &call : calls()) {
        if (call.toObject().value(u"method"_s).toString() == method)
            matching.append(call);
    }
    return matching;
}

void FakePortal::reset()
{
    control(u"Reset"_s);
}

} // namespace TestSupport
