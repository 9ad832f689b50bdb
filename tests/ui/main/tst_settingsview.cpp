#include "ApiClientFixture.h"
#include "FakeHrServer.h"
#include "SessionManagerFixture.h"
#include "SignedInClient.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "networking/ApiEndpoint.h"
#include "services/server/AuthService.h"
#include "services/tracking/PermissionService.h"
#include "storage/Preferences.h"
#include "ui/main/SettingsView.h"
#include "ui/theme/ColorVariables.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using Core::AppStateManager;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;
using UI::SettingsView;

namespace {

const QDateTime t0 = QDateTime::fromString(u"2025-03-01T09:00:00.000Z"_s, Qt::ISODateWithMs);

Models::RemoteConfig companyConfig()
{
    Models::RemoteConfig config;
    config.projects = { { u"p1"_s, u"Design"_s } };
    return config;
}

void startTracking(Core::SessionManager &engine)
{
    AppStateManager::instance().setHasRequiredPermissions(true);
    AppStateManager::instance().setRemoteConfig(companyConfig());
    engine.startTrackingWithoutProject();
    QVERIFY(engine.isTracking());
}

template<typename T>
T *child(const QWidget &view, const QString &name)
{
    T *found = view.findChild<T *>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

QPushButton *logoutButton(const QWidget &view)
{
    return child<QPushButton>(view, u"Settings_LogoutButton"_s);
}

// The signed-in client with its profile, the authentication service reading its tokens.
struct SignedIn : TestSupport::SignedInClient
{
    explicit SignedIn(bool withTokens = true)
        : SignedInClient(withTokens)
    {
        Services::AuthService::instance().setTokenStore(&tokens);
        Storage::saveUserProfile(u"Ada Lovelace"_s, u"Acme Works"_s);
    }
    ~SignedIn() { Services::AuthService::instance().setTokenStore(nullptr); }
};

} // namespace

class TestSettingsView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void accountFollowsProfileAndTracking_data();
    void accountFollowsProfileAndTracking();
    void accountNamesAreLiteral_data();
    void accountNamesAreLiteral();
    void stoppingTheSessionEnablesLogoutAgain();
    void signOutCompletes_data();
    void signOutCompletes();
    void sessionStartClosesTheConfirmation();
    void logoutRefusedWhileTracking();
    void cancelClosesTheConfirmation();
    void refreshPermissionsShowsTheGrant();
    void revokeShowsTheRestartNotice();
    void restartEndsTheEventLoopDespiteAnOpenWindow();
};

void TestSettingsView::init()
{
    AppStateManager::instance().resetForSignOut();
    Storage::clearUserProfile();
}

void TestSettingsView::cleanup()
{
    Services::PermissionService::instance().setScreenCapturer(nullptr);
    Services::PermissionService::instance().setInputMonitor(nullptr);
    AppStateManager::instance().resetForSignOut();
    Storage::clearUserProfile();
}

void TestSettingsView::accountFollowsProfileAndTracking_data()
{
    QTest::addColumn<std::optional<QString>>("name");
    QTest::addColumn<std::optional<QString>>("company");
    QTest::addColumn<bool>("endpoint");
    QTest::addColumn<bool>("tracking");
    QTest::addColumn<QString>("greeting"); // empty: hidden
    QTest::addColumn<QString>("companyLine");

    const std::optional<QString> none;
    QTest::newRow("name and company") << std::optional(u"Ada"_s) << std::optional(u" Acme "_s)
                                      << false << false << u"Hello Ada,"_s << u"Acme"_s;
    QTest::newRow("no name") << none << std::optional(u"Acme"_s) << false << false << QString()
                             << u"Acme"_s;
    QTest::newRow("blank company, stored endpoint")
            << std::optional(u"Ada"_s) << std::optional(u"  "_s) << true << false << u"Hello Ada,"_s
            << u"acme.example"_s;
    QTest::newRow("neither company nor endpoint")
            << std::optional(u"Ada"_s) << none << false << false << u"Hello Ada,"_s << QString();
    QTest::newRow("tracking") << std::optional(u"Ada"_s) << std::optional(u"Acme"_s) << true << true
                              << u"Hello Ada,"_s << u"Acme"_s;
}

void TestSettingsView::accountFollowsProfileAndTracking()
{
    QFETCH(std::optional<QString>, name);
    QFETCH(std::optional<QString>, company);
    QFETCH(bool, endpoint);
    QFETCH(bool, tracking);
    QFETCH(QString, greeting);
    QFETCH(QString, companyLine);

    SessionManagerFixture fixture(t0, endpoint ? SessionManagerFixture::Endpoint::Stored
                                               : SessionManagerFixture::Endpoint::None);
    Storage::saveUserProfile(name, company);
    // Not shown: the salutation stays "Hello" until the first show.
    SettingsView view(fixture.engine());
    if (tracking)
        startTracking(fixture.engine());

    auto *greetingLabel = child<QLabel>(view, u"Settings_GreetingLabel"_s);
    QCOMPARE(greetingLabel->isHidden(), greeting.isEmpty());
    if (!greeting.isEmpty())
        QCOMPARE(greetingLabel->text(), greeting);
    auto *companyLabel = child<QLabel>(view, u"Settings_CompanyLabel"_s);
    QCOMPARE(companyLabel->isHidden(), companyLine.isEmpty());
    QCOMPARE(companyLabel->text(), companyLine);
    QCOMPARE(UI::companyDisplayText(), companyLine);

    QCOMPARE(logoutButton(view)->isEnabled(), !tracking);
    QCOMPARE(logoutButton(view)->text(), u"Logout"_s);
    auto *hint = child<QLabel>(view, u"Settings_TrackingHint"_s);
    QCOMPARE(hint->isHidden(), !tracking);
    QCOMPARE(hint->text(), u"Stop tracking before logging out."_s);
}

void TestSettingsView::accountNamesAreLiteral_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("company");

    QTest::newRow("bold tag") << u"<b>Ada</b>"_s << u"<i>Acme</i> Works"_s;
    // FILE stands for a real picture on disk: a rendering label would load it.
    QTest::newRow("image tag") << u"<img src=\"FILE\">Ada"_s << u"<img src=\"FILE\">"_s;
}

void TestSettingsView::accountNamesAreLiteral()
{
    QFETCH(QString, name);
    QFETCH(QString, company);
    QTemporaryDir dir;
    const QString picture = dir.filePath(u"face.png"_s);
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(picture));
    name.replace(u"FILE"_s, picture);
    company.replace(u"FILE"_s, picture);

    SessionManagerFixture fixture(t0, SessionManagerFixture::Endpoint::None);
    Storage::saveUserProfile(name, company);
    SettingsView view(fixture.engine());

    auto *greetingLabel = child<QLabel>(view, u"Settings_GreetingLabel"_s);
    QCOMPARE(greetingLabel->text(), u"Hello %1,"_s.arg(name));
    QCOMPARE(greetingLabel->textFormat(), Qt::PlainText);
    auto *companyLabel = child<QLabel>(view, u"Settings_CompanyLabel"_s);
    QCOMPARE(companyLabel->text(), company);
    QCOMPARE(companyLabel->textFormat(), Qt::PlainText);
}

void TestSettingsView::stoppingTheSessionEnablesLogoutAgain()
{
    SessionManagerFixture fixture(t0);
    SettingsView view(fixture.engine());
    startTracking(fixture.engine());
    fixture.tick();
    QVERIFY(!logoutButton(view)->isEnabled());

    fixture.engine().stopTracking();
    QVERIFY(logoutButton(view)->isEnabled());
    QVERIFY(child<QLabel>(view, u"Settings_TrackingHint"_s)->isHidden());
}

void TestSettingsView::signOutCompletes_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("logoutRequests");

    QTest::newRow("server answers late") << u"late"_s << 1;
    QTest::newRow("server unreachable") << u"stopped"_s << 0;
    QTest::newRow("no token record") << u"no tokens"_s << 0;
}

void TestSettingsView::signOutCompletes()
{
    QFETCH(QString, server);
    QFETCH(int, logoutRequests);

    SessionManagerFixture fixture(t0);
    SignedIn session(server != u"no tokens"_s);
    if (server == u"late"_s)
        session.server.addFault(FakeHrRoute::Logout, FakeHrFault::delay(1000));
    if (server == u"stopped"_s)
        session.server.stopListening();

    SettingsView view(fixture.engine());
    view.show();
    QVERIFY(!child<QLabel>(view, u"Settings_GreetingLabel"_s)->isHidden());
    QTest::mouseClick(logoutButton(view), Qt::LeftButton);
    QVERIFY(logoutButton(view)->isHidden());
    QTest::mouseClick(child<QPushButton>(view, u"Settings_ConfirmLogoutButton"_s), Qt::LeftButton);

    // Right after the click the confirmation is gone and the button waits.
    QVERIFY(child<QWidget>(view, u"Settings_LogoutConfirmation"_s)->isHidden());
    QCOMPARE(logoutButton(view)->text(), u"Logging out…"_s);
    QVERIFY(!logoutButton(view)->isEnabled());
    if (server == u"late"_s) {
        QVERIFY(session.server.waitForRequests(1, FakeHrRoute::Logout));
        QCoreApplication::processEvents();
        QCOMPARE(logoutButton(view)->text(), u"Logging out…"_s);
        QVERIFY(AppStateManager::instance().isAuthenticated());
    }

    QTRY_VERIFY_WITH_TIMEOUT(!AppStateManager::instance().isAuthenticated(), 15000);
    QCOMPARE(logoutButton(view)->text(), u"Logout"_s);
    QVERIFY(logoutButton(view)->isEnabled());
    QVERIFY(child<QLabel>(view, u"Settings_GreetingLabel"_s)->isHidden());
    QVERIFY(child<QLabel>(view, u"Settings_CompanyLabel"_s)->isHidden());
    QVERIFY(!Services::AuthService::instance().currentTokens());
    QCOMPARE(session.server.requestCount(FakeHrRoute::Logout), logoutRequests);
    if (logoutRequests > 0) {
        const auto request = session.server.requests(FakeHrRoute::Logout).first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.apiPath, u"authentication/logout"_s);
    }
}

void TestSettingsView::sessionStartClosesTheConfirmation()
{
    SessionManagerFixture fixture(t0);
    SignedIn session;
    SettingsView view(fixture.engine());
    view.show();
    QTest::mouseClick(logoutButton(view), Qt::LeftButton);
    auto *confirmation = child<QWidget>(view, u"Settings_LogoutConfirmation"_s);
    QVERIFY(!confirmation->isHidden());

    startTracking(fixture.engine());
    QVERIFY(confirmation->isHidden());
    QVERIFY(!logoutButton(view)->isHidden());
    QVERIFY(!logoutButton(view)->isEnabled());
}

void TestSettingsView::logoutRefusedWhileTracking()
{
    SessionManagerFixture fixture(t0);
    SignedIn session;
    SettingsView view(fixture.engine());
    startTracking(fixture.engine());

    QVERIFY(QMetaObject::invokeMethod(&view, "onLogoutClicked", Qt::DirectConnection));
    QCOMPARE(logoutButton(view)->text(), u"Logout"_s);
    QVERIFY(child<QWidget>(view, u"Settings_LogoutConfirmation"_s)->isHidden());
    QVERIFY(AppStateManager::instance().isAuthenticated());
    QVERIFY(Services::AuthService::instance().currentTokens());
    QCOMPARE(session.server.requestCount(FakeHrRoute::Logout), 0);
    fixture.engine().stopTracking();
}

void TestSettingsView::cancelClosesTheConfirmation()
{
    SessionManagerFixture fixture(t0);
    SettingsView view(fixture.engine());
    view.show();
    QTest::mouseClick(logoutButton(view), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(view, u"Settings_CancelLogoutButton"_s), Qt::LeftButton);
    QVERIFY(child<QWidget>(view, u"Settings_LogoutConfirmation"_s)->isHidden());
    QVERIFY(!logoutButton(view)->isHidden());
    QCOMPARE(logoutButton(view)->text(), u"Logout"_s);
}

void TestSettingsView::refreshPermissionsShowsTheGrant()
{
    SessionManagerFixture fixture(t0);
    fixture.platform.capturer->available = false;
    fixture.platform.input->available = true;
    Services::PermissionService::instance().setScreenCapturer(fixture.platform.capturer.get());
    Services::PermissionService::instance().setInputMonitor(fixture.platform.input.get());
    SettingsView view(fixture.engine());
    view.show();

    auto *screenStatus = child<QLabel>(view, u"Settings_ScreenRecordingStatus"_s);
    auto *screenButton = child<QPushButton>(view, u"Settings_ScreenRecordingButton"_s);
    QVERIFY(screenStatus->pixmap().isNull());
    QVERIFY(!screenButton->isHidden());
    QVERIFY(child<QPushButton>(view, u"Settings_InputMonitoringButton"_s)->isHidden());

    QTest::mouseClick(screenButton, Qt::LeftButton);
    QCOMPARE(fixture.platform.capturer->accessRequests, 1);

    fixture.platform.capturer->available = true;
    QTest::mouseClick(child<QPushButton>(view, u"Settings_RefreshPermissionsButton"_s),
                      Qt::LeftButton);
    const QImage check = UI::Theme::icon(u"check-circle"_s, UI::Theme::greenColor, 16)
                                 .pixmap(16, 16)
                                 .toImage();
    QCOMPARE(screenStatus->pixmap().toImage(), check);
    QVERIFY(screenButton->isHidden());
    QVERIFY(AppStateManager::instance().hasRequiredPermissions());
}

void TestSettingsView::revokeShowsTheRestartNotice()
{
    SessionManagerFixture fixture(t0);
    Services::PermissionService::instance().setScreenCapturer(fixture.platform.capturer.get());
    SettingsView view(fixture.engine());
    view.show();
    auto *confirmation = child<QWidget>(view, u"Settings_RevokeConfirmation"_s);
    auto *notice = child<QWidget>(view, u"Settings_RestartNotice"_s);
    QVERIFY(confirmation->isHidden());

    QTest::mouseClick(child<QPushButton>(view, u"Settings_RevokePermissionsButton"_s),
                      Qt::LeftButton);
    QVERIFY(!confirmation->isHidden());
    QTest::mouseClick(child<QPushButton>(view, u"Settings_CancelRevokeButton"_s), Qt::LeftButton);
    QVERIFY(confirmation->isHidden());
    QCOMPARE(fixture.platform.capturer->revocations, 0);

    QTest::mouseClick(child<QPushButton>(view, u"Settings_RevokePermissionsButton"_s),
                      Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(view, u"Settings_ConfirmRevokeButton"_s), Qt::LeftButton);
    QCOMPARE(fixture.platform.capturer->revocations, 1);
    QVERIFY(confirmation->isHidden());
    QVERIFY(!notice->isHidden());
}

// A window that refuses to close, as a minimised popover does, must not keep "Restart" from
// ending the event loop.
void TestSettingsView::restartEndsTheEventLoopDespiteAnOpenWindow()
{
    class Stubborn final : public QWidget
    {
    protected:
        void closeEvent(QCloseEvent *event) override { event->ignore(); }
    };

    SessionManagerFixture fixture(t0);
    Stubborn other;
    other.show();
    SettingsView view(fixture.engine());
    Services::PermissionService::instance().setScreenCapturer(fixture.platform.capturer.get());
    view.show();
    QTest::mouseClick(child<QPushButton>(view, u"Settings_RevokePermissionsButton"_s),
                      Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(view, u"Settings_ConfirmRevokeButton"_s), Qt::LeftButton);

    QEventLoop loop;
    QTimer::singleShot(0, &view, [&view] {
        QTest::mouseClick(child<QPushButton>(view, u"Settings_RestartButton"_s), Qt::LeftButton);
    });
    QTimer::singleShot(10000, &loop, [&loop] { loop.exit(1); });
    QCOMPARE(loop.exec(), 0);
    QVERIFY(other.isVisible());
}

CLOCKWARDEN_TEST_MAIN(TestSettingsView)
#include "tst_settingsview.moc"
