#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include "DBusMock.h"
#include "FakePortal.h"
#include "LogTail.h"
#include "TestEnvironment.h"
#include "platform/wayland/WaylandPortalRequest.h"
#include "platform/wayland/WaylandScreenCapturer.h"
#include "storage/Log.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"

using namespace Qt::StringLiterals;
using Platform::Wayland::WaylandScreenCapturer;

namespace {

const QString tokenKey = Storage::PreferenceKeys::screencastRestoreToken;

QString storedToken()
{
    return Storage::Preferences::instance().value(tokenKey).toString();
}

QJsonValue option(const QJsonValue &call, const QString &key)
{
    return call.toObject().value(u"options"_s).toObject().value(key);
}

QJsonArray typed(const QString &letter, const QJsonValue &value)
{
    return QJsonArray{ letter, value };
}

// Receives the portal's Response on one request path, as the capturer would.
class ResponseCounter : public QObject
{
    Q_OBJECT

public:
    int count = 0;

public Q_SLOTS:
    void onResponse(uint, const QVariantMap &) { ++count; }
};

} // namespace

class TestScreenCastPortal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void predictsTheRequestPath();
    void recoveryDelayGrowsThenStays_data();
    void recoveryDelayGrowsThenStays();

    void conversationSendsTypedOptionsAndKeepsTheNewestToken();
    void storedTokenStartsOnceTheLoopRunsAndNotInteractively();
    void responseBeforeReplyIsSeen();
    void cancelAtSelectSourcesNotifiesOnceAndClosesTheSession();
    void cancelAtStartShowsNoNotice();
    void dbusErrorOfAStepFailsTheSession();
    void tokenWithoutStreamsIsDroppedAndNotRecovered();
    void failedOpenPipeWireRemoteClosesAndRecovers();
    void emptySessionHandleRecoversSilently();
    void recoveryWaitsTwoThenFourSeconds();
    void wakeDuringAConversationRestartsWithoutNotice();
    void wakeWhileIdleDoesNothing();
    void revokeDropsTokenAndSession();
    void timedOutStepEndsWithCode2AndIgnoresTheLateResponse();

private:
    WaylandScreenCapturer *makeCapturer(WaylandScreenCapturer::Hooks hooks = {});
    QString firstSessionPath() const;

    TestSupport::FakePortal m_portal;
    TestSupport::DBusMock m_notifications{ u"notification_daemon"_s,
                                           TestSupport::DBusMock::Bus::Session };
    std::optional<LogTail> m_log;

    // Lines logged since init() that contain the text.
    int logged(const QString &text) const { return int(m_log->lines().filter(text).size()); }
    std::unique_ptr<WaylandScreenCapturer> m_capturer;
    QList<QList<quint32>> m_pipeWireStarts;
};

void TestScreenCastPortal::initTestCase()
{
    Core::Log::install();
    QVERIFY(m_portal.start());
    QVERIFY(m_notifications.start(u"org.freedesktop.Notifications"_s,
                                  u"/org/freedesktop/Notifications"_s));
}

void TestScreenCastPortal::init()
{
    m_portal.reset();
    m_portal.setStreams({ 42, 43 });
    m_notifications.clearCalls();
    Storage::Preferences::instance().remove(tokenKey);
    m_pipeWireStarts.clear();
    m_log.emplace();
}

void TestScreenCastPortal::cleanup()
{
    m_capturer.reset();
}

WaylandScreenCapturer *TestScreenCastPortal::makeCapturer(WaylandScreenCapturer::Hooks hooks)
{
    // The PipeWire half is tested against a real daemon elsewhere; here it only records.
    hooks.startPipeWire = [this](int fd, const QList<quint32> &nodeIds) {
        ::close(fd);
        m_pipeWireStarts.append(nodeIds);
    };
    m_capturer = std::make_unique<WaylandScreenCapturer>(std::move(hooks));
    return m_capturer.get();
}

QString TestScreenCastPortal::firstSessionPath() const
{
    const QJsonArray created = m_portal.calls(u"CreateSession"_s);
    if (created.isEmpty())
        return {};
    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
    sender.replace(u'.', u'_');
    return u"/org/freedesktop/portal/desktop/session/%1/%2"_s.arg(
            sender, option(created.first(), u"session_handle_token"_s).toArray().at(1).toString());
}

void TestScreenCastPortal::predictsTheRequestPath()
{
    QCOMPARE(Platform::Wayland::WaylandPortalRequest::requestPath(u":1.42"_s, u"tembrix1"_s),
             u"/org/freedesktop/portal/desktop/request/1_42/tembrix1"_s);
}

void TestScreenCastPortal::recoveryDelayGrowsThenStays_data()
{
    QTest::addColumn<int>("attempt");
    QTest::addColumn<int>("delayMs");
    QTest::newRow("negative") << -1 << 2000;
    QTest::newRow("first") << 0 << 2000;
    QTest::newRow("second") << 1 << 4000;
    QTest::newRow("third") << 2 << 8000;
    QTest::newRow("fourth") << 3 << 16000;
    QTest::newRow("fifth") << 4 << 30000;
    QTest::newRow("twentieth") << 19 << 30000;
}

void TestScreenCastPortal::recoveryDelayGrowsThenStays()
{
    QFETCH(int, attempt);
    QFETCH(int, delayMs);
    QCOMPARE(Platform::Wayland::recoveryDelayMs(attempt), delayMs);
}

void TestScreenCastPortal::conversationSendsTypedOptionsAndKeepsTheNewestToken()
{
    m_portal.configure(u"Start"_s,
                       { { u"results"_s, QJsonObject{ { u"restore_token"_s, u"abc"_s } } } });
    WaylandScreenCapturer *capturer = makeCapturer();
    capturer->requestAccess();
    QTRY_COMPARE(m_pipeWireStarts.size(), 1);
    QCOMPARE(m_pipeWireStarts.first(), (QList<quint32>{ 42, 43 }));
    QCOMPARE(storedToken(), u"abc"_s);
    QFile preferences(Platform::Paths::configDir() + u"/preferences.ini"_s);
    QVERIFY(preferences.open(QIODevice::ReadOnly));
    QVERIFY(preferences.readAll().contains("[wayland]\nscreencast_restore_token=abc\n"));

    const QJsonValue create = m_portal.calls(u"CreateSession"_s).at(0);
    QCOMPARE(create[u"signature"_s].toString(), u"a{sv}"_s);
    QCOMPARE(option(create, u"handle_token"_s), typed(u"s"_s, u"tembrix1"_s));
    QCOMPARE(option(create, u"session_handle_token"_s), typed(u"s"_s, u"tembrix2"_s));

    const QJsonValue select = m_portal.calls(u"SelectSources"_s).at(0);
    QCOMPARE(select[u"signature"_s].toString(), u"oa{sv}"_s);
    QCOMPARE(select[u"args"_s][0], typed(u"o"_s, firstSessionPath()));
    QCOMPARE(option(select, u"handle_token"_s), typed(u"s"_s, u"tembrix3"_s));
    QCOMPARE(option(select, u"types"_s), typed(u"u"_s, 1));
    QCOMPARE(option(select, u"multiple"_s), typed(u"b"_s, true));
    QCOMPARE(option(select, u"cursor_mode"_s), typed(u"u"_s, 1));
    QCOMPARE(option(select, u"persist_mode"_s), typed(u"u"_s, 2));
    QVERIFY(option(select, u"restore_token"_s).isUndefined());

    const QJsonValue start = m_portal.calls(u"Start"_s).at(0);
    QCOMPARE(start[u"signature"_s].toString(), u"osa{sv}"_s);
    QCOMPARE(start[u"args"_s][1], typed(u"s"_s, QString()));
    QCOMPARE(option(start, u"handle_token"_s), typed(u"s"_s, u"tembrix4"_s));

    const QJsonValue open = m_portal.calls(u"OpenPipeWireRemote"_s).at(0);
    QCOMPARE(open[u"signature"_s].toString(), u"oa{sv}"_s);
    QCOMPARE(open[u"args"_s][0], typed(u"o"_s, firstSessionPath()));

    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
    sender.replace(u'.', u'_');
    QCOMPARE(logged(u"PortalRequest: subscribing Response at "
                    "/org/freedesktop/portal/desktop/request/%1/tembrix1"_s.arg(sender)),
             1);
    QCOMPARE(logged(u"ScreenCast Start ok: 2 stream(s), restore_token=(set)"_s), 1);
    QVERIFY(logged(u"OpenPipeWireRemote ok (fd="_s) > 0);

    // The token is used once: the next start sends it, and the answer's token replaces it.
    m_capturer.reset();
    m_portal.reset();
    m_portal.configure(u"Start"_s,
                       { { u"results"_s, QJsonObject{ { u"restore_token"_s, u"def"_s } } } });
    makeCapturer();
    QTRY_COMPARE(m_pipeWireStarts.size(), 2);
    QCOMPARE(option(m_portal.calls(u"SelectSources"_s).at(0), u"restore_token"_s),
             typed(u"s"_s, u"abc"_s));
    QCOMPARE(storedToken(), u"def"_s);
}

void TestScreenCastPortal::storedTokenStartsOnceTheLoopRunsAndNotInteractively()
{
    Storage::Preferences::instance().setValue(tokenKey, u"tok"_s);
    m_portal.configure(u"SelectSources"_s, { { u"code"_s, 1 } });
    makeCapturer();
    QCOMPARE(m_portal.calls(u"CreateSession"_s).size(), 0);

    QTRY_COMPARE(m_portal.calls(u"SelectSources"_s).size(), 1);
    QTRY_VERIFY(logged(u"ScreenCast SelectSources failed/cancelled"_s) > 0);
    QCOMPARE(m_notifications.callCount(u"Notify"_s), 0);
    QCOMPARE(logged(u"notifying the user"_s), 0);
}

void TestScreenCastPortal::responseBeforeReplyIsSeen()
{
    for (const QString &method : { u"CreateSession"_s, u"SelectSources"_s, u"Start"_s })
        m_portal.configure(method, { { u"responseFirst"_s, true } });
    makeCapturer()->requestAccess();
    QTRY_COMPARE(m_pipeWireStarts.size(), 1);
}

void TestScreenCastPortal::cancelAtSelectSourcesNotifiesOnceAndClosesTheSession()
{
    Storage::Preferences::instance().setValue(tokenKey, u"tok"_s);
    m_portal.configure(u"SelectSources"_s, { { u"code"_s, 1 } });
    WaylandScreenCapturer *capturer = makeCapturer();
    capturer->requestAccess();

    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);
    QCOMPARE(m_portal.calls(u"Close"_s).at(0)[u"path"_s].toString(), firstSessionPath());
    QCOMPARE(logged(u"[ERROR] [config] ScreenCast SelectSources failed/cancelled"_s), 1);
    QCOMPARE(logged(u"interactive screen-capture grant failed to establish a session — "
                    "notifying the user"_s),
             1);
    QTRY_COMPARE(m_notifications.callCount(u"Notify"_s), 1);
    QCOMPARE(logged(u"scheduling ScreenCast recovery in 2000 ms"_s), 1);

    // The recovery is not the user's request: its cancellation shows no second notice.
    QTRY_COMPARE_WITH_TIMEOUT(m_portal.calls(u"SelectSources"_s).size(), 2, 5000);
    QTRY_COMPARE(logged(u"ScreenCast SelectSources failed/cancelled"_s), 2);
    QCOMPARE(m_notifications.callCount(u"Notify"_s), 1);
}

void TestScreenCastPortal::cancelAtStartShowsNoNotice()
{
    m_portal.configure(u"Start"_s,
                       { { u"code"_s, 1 }, { u"results"_s, QJsonObject{ { u"why"_s, u"x"_s } } } });
    makeCapturer()->requestAccess();

    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);
    QVERIFY(logged(u"ScreenCast Start failed/cancelled (code=1, keys="_s) > 0);
    QCOMPARE(logged(u"notifying the user"_s), 0);
    QCOMPARE(m_notifications.callCount(u"Notify"_s), 0);
    QCOMPARE(logged(u"session lost and no restore_token — not auto-recovering"_s), 1);
}

void TestScreenCastPortal::dbusErrorOfAStepFailsTheSession()
{
    m_portal.configure(u"SelectSources"_s,
                       { { u"error"_s, u"org.freedesktop.DBus.Error.AccessDenied"_s } });
    makeCapturer()->requestAccess();

    QTRY_VERIFY(logged(u"ScreenCast SelectSources call failed: fake portal refuses SelectSources"_s)
                > 0);
    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);
    QTRY_COMPARE(m_notifications.callCount(u"Notify"_s), 1);
    QCOMPARE(m_portal.calls(u"Start"_s).size(), 0);
}

void TestScreenCastPortal::tokenWithoutStreamsIsDroppedAndNotRecovered()
{
    Storage::Preferences::instance().setValue(tokenKey, u"stale"_s);
    m_portal.setStreams({});
    makeCapturer();

    QTRY_VERIFY(logged(u"ScreenCast Start returned no streams; cleared restore_token"_s) > 0);
    QVERIFY(!Storage::Preferences::instance().contains(tokenKey));
    QCOMPARE(logged(u"ScreenCast Start ok: 0 stream(s), restore_token=(none)"_s), 1);
    QCOMPARE(logged(u"session lost and no restore_token — not auto-recovering"_s), 1);
    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);
    QCOMPARE(m_pipeWireStarts.size(), 0);
}

void TestScreenCastPortal::failedOpenPipeWireRemoteClosesAndRecovers()
{
    Storage::Preferences::instance().setValue(tokenKey, u"tok"_s);
    m_portal.configure(u"OpenPipeWireRemote"_s,
                       { { u"error"_s, u"org.freedesktop.DBus.Error.Failed"_s } });
    makeCapturer();

    QTRY_VERIFY(logged(u"[ERROR] [config] OpenPipeWireRemote failed"_s) > 0);
    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);
    QCOMPARE(logged(u"scheduling ScreenCast recovery in 2000 ms"_s), 1);
    QCOMPARE(m_pipeWireStarts.size(), 0);
}

void TestScreenCastPortal::emptySessionHandleRecoversSilently()
{
    Storage::Preferences::instance().setValue(tokenKey, u"tok"_s);
    m_portal.configure(u"CreateSession"_s,
                       { { u"results"_s, QJsonObject{ { u"session_handle"_s, QString() } } } });
    makeCapturer();

    QTRY_VERIFY(logged(u"scheduling ScreenCast recovery in 2000 ms"_s) > 0);
    QCOMPARE(m_portal.calls(u"SelectSources"_s).size(), 0);
    QCOMPARE(logged(u"[ERROR]"_s), 0);
    QCOMPARE(logged(u"CreateSession ok"_s), 0);
}

void TestScreenCastPortal::recoveryWaitsTwoThenFourSeconds()
{
    Storage::Preferences::instance().setValue(tokenKey, u"tok"_s);
    m_portal.configure(u"CreateSession"_s, { { u"code"_s, 2 } });
    makeCapturer();

    QTRY_COMPARE(m_portal.calls(u"CreateSession"_s).size(), 1);
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(m_portal.calls(u"CreateSession"_s).size(), 2, 5000);
    QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE(logged(u"scheduling ScreenCast recovery in 4000 ms"_s), 1);
    QCOMPARE(logged(u"scheduling ScreenCast recovery in 2000 ms"_s), 1);
    QCOMPARE(logged(u"ScreenCast CreateSession failed/cancelled"_s), 2);
}

void TestScreenCastPortal::wakeDuringAConversationRestartsWithoutNotice()
{
    Storage::Preferences::instance().setValue(tokenKey, u"tok"_s);
    m_portal.configure(u"Start"_s, { { u"respond"_s, false } });
    WaylandScreenCapturer *capturer = makeCapturer();
    QSignalSpy availability(capturer, &WaylandScreenCapturer::availabilityChanged);
    QTRY_COMPARE(m_portal.calls(u"Start"_s).size(), 1);

    m_portal.reset();
    capturer->onSystemResumed();
    QCOMPARE(logged(u"system resumed — re-establishing ScreenCast session"_s), 1);
    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);
    QElapsedTimer clock;
    clock.start();
    QTRY_COMPARE_WITH_TIMEOUT(m_portal.calls(u"CreateSession"_s).size(), 1, 5000);
    QVERIFY2(clock.elapsed() >= 1800, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE(m_pipeWireStarts.size(), 1);
    QCOMPARE(availability.count(), 0);
}

void TestScreenCastPortal::wakeWhileIdleDoesNothing()
{
    Storage::Preferences::instance().setValue(tokenKey, u"tok"_s);
    m_portal.configure(u"CreateSession"_s, { { u"code"_s, 1 } });
    WaylandScreenCapturer *capturer = makeCapturer();
    QTRY_VERIFY(logged(u"scheduling ScreenCast recovery"_s) > 0);
    m_log.emplace();
    m_portal.reset();

    capturer->onSystemResumed();
    QVERIFY(m_log->lines().isEmpty());
    QCOMPARE(m_portal.calls().size(), 0);
}

void TestScreenCastPortal::revokeDropsTokenAndSession()
{
    Storage::Preferences::instance().setValue(tokenKey, u"tok"_s);
    m_portal.configure(u"Start"_s, { { u"respond"_s, false } });
    WaylandScreenCapturer *capturer = makeCapturer();
    QTRY_COMPARE(m_portal.calls(u"Start"_s).size(), 1);

    capturer->onPermissionRevoked();
    QVERIFY(!Storage::Preferences::instance().contains(tokenKey));
    QCOMPARE(logged(u"permission revoked — restore_token cleared, dropping live session"_s), 1);
    QTRY_COMPARE(m_portal.calls(u"Close"_s).size(), 1);

    m_portal.reset();
    capturer->requestAccess();
    QTRY_COMPARE(m_portal.calls(u"SelectSources"_s).size(), 1);
    QVERIFY(option(m_portal.calls(u"SelectSources"_s).at(0), u"restore_token"_s).isUndefined());
}

void TestScreenCastPortal::timedOutStepEndsWithCode2AndIgnoresTheLateResponse()
{
    m_portal.configure(u"Start"_s, { { u"delay"_s, 800 } });
    WaylandScreenCapturer::Hooks hooks;
    hooks.startTimeoutMs = 150;
    WaylandScreenCapturer *capturer = makeCapturer(hooks);

    ResponseCounter late;
    QVERIFY(QDBusConnection::sessionBus().connect(
            u"org.freedesktop.portal.Desktop"_s,
            Platform::Wayland::WaylandPortalRequest::requestPath(
                    QDBusConnection::sessionBus().baseService(), u"tembrix4"_s),
            u"org.freedesktop.portal.Request"_s, u"Response"_s, &late,
            SLOT(onResponse(uint, QVariantMap))));
    capturer->requestAccess();

    QTRY_COMPARE(logged(u"ScreenCast Start failed/cancelled (code=2, keys=)"_s), 1);
    QTRY_COMPARE(late.count, 1);
    QCOMPARE(m_pipeWireStarts.size(), 0);
    QCOMPARE(logged(u"ScreenCast Start ok"_s), 0);
    QCOMPARE(m_portal.calls(u"OpenPipeWireRemote"_s).size(), 0);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestScreenCastPortal)

#include "tst_screencastportal.moc"
