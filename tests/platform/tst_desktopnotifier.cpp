#include "DBusMock.h"
#include "TestEnvironment.h"
#include "platform/DesktopNotifier.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using Platform::DesktopNotifier;
using TestSupport::DBusMock;

namespace {

const auto serviceName = u"org.freedesktop.Notifications"_s;
const auto objectPath = u"/org/freedesktop/Notifications"_s;

QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    tool.waitForFinished(10000);
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// The notifications dunst keeps in its history: summary and body of each, newest first.
QList<std::pair<QString, QString>> dunstHistory()
{
    const QJsonObject history
            = QJsonDocument::fromJson(runTool(u"dunstctl"_s, { u"history"_s }).toUtf8()).object();
    QList<std::pair<QString, QString>> result;
    for (const QJsonValue &entry : history.value("data"_L1).toArray().at(0).toArray()) {
        const QJsonObject fields = entry.toObject();
        result.append({ fields.value("summary"_L1).toObject().value("data"_L1).toString(),
                        fields.value("body"_L1).toObject().value("data"_L1).toString() });
    }
    return result;
}

bool serviceOwned()
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(serviceName).value();
}

} // namespace

class TestDesktopNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void withoutServiceReturnsFalse();
    void sendsTypedArgumentsExactly_data();
    void sendsTypedArgumentsExactly();
    void dunstShowsSummaryAndBody();
};

void TestDesktopNotifier::initTestCase()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"), "needs PRIVATE_BUS");
    QVERIFY(!serviceOwned());
}

void TestDesktopNotifier::withoutServiceReturnsFalse()
{
    QVERIFY(!DesktopNotifier::instance().notify(u"Summary"_s, u"Body"_s, 5000));
}

void TestDesktopNotifier::sendsTypedArgumentsExactly_data()
{
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("timeout");

    QTest::newRow("tracking unavailable")
            << u"Tracking unavailable"_s << u"Activity tracking is unavailable."_s << 5000;
    QTest::newRow("markup and long text kept as given")
            << u"<b>Bold</b> & \"quoted\""_s << u"line one\nline two "_s.repeated(40) << 0;
    QTest::newRow("negative timeout stays signed") << u"S"_s << QString() << -1;
}

void TestDesktopNotifier::sendsTypedArgumentsExactly()
{
    QFETCH(QString, summary);
    QFETCH(QString, body);
    QFETCH(int, timeout);
    DBusMock mock(u"notification_daemon"_s, DBusMock::Bus::Session);
    QVERIFY(mock.start(serviceName, objectPath));

    QVERIFY(DesktopNotifier::notify(summary, body, timeout));
    QVERIFY(DesktopNotifier::notify(summary, body, timeout));

    const QList<DBusMock::Call> calls = mock.calls();
    QCOMPARE(calls.size(), 2);
    for (const DBusMock::Call &call : calls) {
        QCOMPARE(call.method, u"Notify"_s);
        const QVariantList &args = call.arguments;
        QCOMPARE(args.size(), 8);
        QCOMPARE(args.at(0), QVariant(u"Tembrix Clockwarden"_s));
        // replaces_id 0 (an unsigned 32-bit value): every call is a new notification.
        QCOMPARE(args.at(1).metaType(), QMetaType::fromType<uint>());
        QCOMPARE(args.at(1).toUInt(), 0u);
        QCOMPARE(args.at(2), QVariant(u"tembrix-clockwarden"_s));
        QCOMPARE(args.at(3), QVariant(summary));
        QCOMPARE(args.at(4), QVariant(body));
        QCOMPARE(args.at(5), QVariant(QStringList()));
        QCOMPARE(args.at(6).value<QDBusArgument>().currentSignature(), u"a{sv}"_s);
        QVERIFY(qdbus_cast<QVariantMap>(args.at(6)).isEmpty());
        QCOMPARE(args.at(7).metaType(), QMetaType::fromType<int>());
        QCOMPARE(args.at(7).toInt(), timeout);
    }
}

void TestDesktopNotifier::dunstShowsSummaryAndBody()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("dunst needs an X display");
    QProcess dunst;
    dunst.start(u"dunst"_s, { u"-conf"_s, u"/dev/null"_s });
    QVERIFY(dunst.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(serviceOwned(), 10000);

    QVERIFY(DesktopNotifier::notify(u"Tracking <i>unavailable</i>"_s, u"Body & more"_s, 5000));

    // History holds closed notifications only.
    runTool(u"dunstctl"_s, { u"close-all"_s });
    QTRY_COMPARE(dunstHistory(), (QList<std::pair<QString, QString>>{
                                         { u"Tracking <i>unavailable</i>"_s, u"Body & more"_s } }));
    dunst.terminate();
    QVERIFY(dunst.waitForFinished(5000));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestDesktopNotifier)

#include "tst_desktopnotifier.moc"
