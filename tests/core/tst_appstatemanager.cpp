#include "ApiClientFixture.h"
#include "FakeHrServer.h"
#include "SignedInClient.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "networking/ApiEndpoint.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using Core::AppStateManager;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;
using TestSupport::SignedInClient;

namespace {

Models::RemoteConfig configWith(const std::optional<QString> &latest,
                                const std::optional<QString> &downloadUrl)
{
    Models::RemoteConfig config;
    config.projects = { { QStringLiteral("p1"), QStringLiteral("Design") },
                        { QStringLiteral("p2"), QStringLiteral("Review") } };
    config.latestClientVersionLinux = latest;
    config.clientDownloadUrlLinux = downloadUrl;
    return config;
}

// Every signal of the holder, in order of emission.
class SignalOrder : public QObject
{
public:
    explicit SignalOrder(AppStateManager &state)
    {
        const auto record = [this](const char *name) {
            return [this, name] { names.append(QString::fromLatin1(name)); };
        };
        connect(&state, &AppStateManager::isAuthenticatedChanged, this, record("authenticated"));
        connect(&state, &AppStateManager::hasRequiredPermissionsChanged, this,
                record("permissions"));
        connect(&state, &AppStateManager::forceClientUpdateChanged, this, record("forceUpdate"));
        connect(&state, &AppStateManager::remoteConfigChanged, this, record("config"));
        connect(&state, &AppStateManager::pendingMainTabChanged, this, record("tab"));
    }

    QStringList names;
};

} // namespace

class TestAppStateManager : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void forcedUpdateVerdict_data();
    void forcedUpdateVerdict();
    void sameConfigTwiceAnnouncesTheVerdictOnce();
    void configWithoutVersionAfterForcedOneTurnsItOff();
    void clearingTheVerdictEmitsOnce();
    void signOutResetEmitsInOrder();
    void pendingMainTabEmitsEveryTime();
    void flagsEmitOnlyOnChange();
    void updateCheckSignedOutSendsNothing();
    void updateCheckFindsNewerVersion();
    void updateCheckUpToDate();
    void updateCheckFailureLeavesStateAlone();
    void secondCheckInsideTheFirstFailsAtOnce();

private:
    static QStringList runCheck()
    {
        QStringList answers;
        AppStateManager::instance().checkForUpdates(
                [&answers](const QString &text) { answers.append(text); });
        return answers;
    }
};

void TestAppStateManager::init()
{
    auto &state = AppStateManager::instance();
    state.resetForSignOut();
    state.setHasRequiredPermissions(false);
    state.setPendingMainTab(std::nullopt);
}

void TestAppStateManager::forcedUpdateVerdict_data()
{
    QTest::addColumn<std::optional<QString>>("latest");
    QTest::addColumn<std::optional<QString>>("address");
    QTest::addColumn<bool>("forced");
    QTest::addColumn<std::optional<QString>>("requiredVersion");
    QTest::addColumn<std::optional<QUrl>>("downloadUrl");

    const std::optional<QString> valid = QStringLiteral("https://example.com/clockwarden.AppImage");
    const std::optional<QString> invalid = QStringLiteral("http://exa mple.com/x");
    const std::optional<QString> none;
    const std::optional<QUrl> validUrl = QUrl(*valid);
    const std::optional<QUrl> noUrl;
    struct Version
    {
        const char *name;
        QString text;
        bool forced;
        QString required;
    };
    const Version versions[] = {
        { "spaces around current", QStringLiteral(" 1.4.3 "), false, QStringLiteral("1.4.3") },
        { "current with zero part", QStringLiteral("1.4.3.0"), false, QStringLiteral("1.4.3.0") },
        { "numerically newer", QStringLiteral("1.4.10"), true, QStringLiteral("1.4.10") },
        { "pre-release of newer", QStringLiteral("1.5-beta"), true, QStringLiteral("1.5-beta") },
        { "letters first", QStringLiteral("beta.2"), false, QStringLiteral("beta.2") },
        { "next major", QStringLiteral("2"), true, QStringLiteral("2") },
        { "shorter older", QStringLiteral("1.4"), false, QStringLiteral("1.4") },
    };
    for (const Version &version : versions) {
        QTest::addRow("%s, valid address", version.name)
                << std::optional(version.text) << valid << version.forced
                << std::optional(version.required) << validUrl;
        QTest::addRow("%s, invalid address", version.name)
                << std::optional(version.text) << invalid << version.forced
                << std::optional(version.required) << noUrl;
        QTest::addRow("%s, no address", version.name)
                << std::optional(version.text) << none << version.forced
                << std::optional(version.required) << noUrl;
    }
    QTest::newRow("no version, valid address") << none << valid << false << none << noUrl;
    QTest::newRow("blank version")
            << std::optional(QStringLiteral("  ")) << valid << false << none << noUrl;
}

void TestAppStateManager::forcedUpdateVerdict()
{
    QFETCH(std::optional<QString>, latest);
    QFETCH(std::optional<QString>, address);
    QFETCH(bool, forced);
    QFETCH(std::optional<QString>, requiredVersion);
    QFETCH(std::optional<QUrl>, downloadUrl);
    auto &state = AppStateManager::instance();
    QSignalSpy verdictSpy(&state, &AppStateManager::forceClientUpdateChanged);
    QSignalSpy configSpy(&state, &AppStateManager::remoteConfigChanged);

    state.setRemoteConfig(configWith(latest, address));
    QCOMPARE(state.forceClientUpdate(), forced);
    QCOMPARE(state.requiredVersion(), requiredVersion);
    QCOMPARE(state.downloadUrl(), downloadUrl);
    QCOMPARE(state.projects().size(), 2);
    QCOMPARE(configSpy.count(), 1);
    // From the reset state any version is news; without one nothing changed.
    QCOMPARE(verdictSpy.count(), requiredVersion ? 1 : 0);
}

void TestAppStateManager::sameConfigTwiceAnnouncesTheVerdictOnce()
{
    auto &state = AppStateManager::instance();
    QSignalSpy verdictSpy(&state, &AppStateManager::forceClientUpdateChanged);
    QSignalSpy configSpy(&state, &AppStateManager::remoteConfigChanged);
    const auto config = configWith(QStringLiteral("1.4.10"), QStringLiteral("https://e.com/a"));

    state.setRemoteConfig(config);
    state.setRemoteConfig(config);
    QCOMPARE(configSpy.count(), 2);
    QCOMPARE(verdictSpy.count(), 1);
    QVERIFY(state.forceClientUpdate());
    QCOMPARE(state.remoteConfig(), std::optional(config));
}

void TestAppStateManager::configWithoutVersionAfterForcedOneTurnsItOff()
{
    auto &state = AppStateManager::instance();
    state.setRemoteConfig(configWith(QStringLiteral("2.0"), QStringLiteral("https://e.com/a")));
    QVERIFY(state.forceClientUpdate());
    QSignalSpy verdictSpy(&state, &AppStateManager::forceClientUpdateChanged);

    state.setRemoteConfig(configWith(std::nullopt, QStringLiteral("https://e.com/a")));
    QVERIFY(!state.forceClientUpdate());
    QCOMPARE(state.requiredVersion(), std::nullopt);
    QCOMPARE(state.downloadUrl(), std::nullopt);
    QCOMPARE(verdictSpy.count(), 1);
}

void TestAppStateManager::clearingTheVerdictEmitsOnce()
{
    auto &state = AppStateManager::instance();
    state.setRemoteConfig(configWith(QStringLiteral("1.4.3"), QStringLiteral("https://e.com/a")));
    QSignalSpy verdictSpy(&state, &AppStateManager::forceClientUpdateChanged);
    state.evaluateForceUpdate(std::nullopt);
    QCOMPARE(verdictSpy.count(), 1);
    QCOMPARE(state.requiredVersion(), std::nullopt);
    QCOMPARE(state.downloadUrl(), std::nullopt);
    state.evaluateForceUpdate(std::nullopt);
    QCOMPARE(verdictSpy.count(), 1);
}

void TestAppStateManager::signOutResetEmitsInOrder()
{
    auto &state = AppStateManager::instance();
    state.setIsAuthenticated(true);
    state.setHasRequiredPermissions(true);
    state.setPendingMainTab(2);
    state.setRemoteConfig(configWith(QStringLiteral("2.0"), std::nullopt));
    SignalOrder order(state);

    state.resetForSignOut();
    QCOMPARE(order.names, (QStringList{ QStringLiteral("authenticated"), QStringLiteral("config"),
                                        QStringLiteral("forceUpdate") }));
    QVERIFY(!state.isAuthenticated());
    QVERIFY(!state.forceClientUpdate());
    QCOMPARE(state.remoteConfig(), std::nullopt);
    QVERIFY(state.projects().isEmpty());
    QCOMPARE(state.requiredVersion(), std::nullopt);
    // Untouched by the reset.
    QVERIFY(state.hasRequiredPermissions());
    QCOMPARE(state.pendingMainTab(), std::optional(2));

    // Signed out already: both state signals still come, the flag's does not.
    order.names.clear();
    state.resetForSignOut();
    QCOMPARE(order.names, (QStringList{ QStringLiteral("config"), QStringLiteral("forceUpdate") }));
}

void TestAppStateManager::pendingMainTabEmitsEveryTime()
{
    auto &state = AppStateManager::instance();
    QSignalSpy spy(&state, &AppStateManager::pendingMainTabChanged);
    state.openSettings();
    state.setPendingMainTab(3);
    state.setPendingMainTab(std::nullopt);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(state.pendingMainTab(), std::nullopt);
}

void TestAppStateManager::flagsEmitOnlyOnChange()
{
    auto &state = AppStateManager::instance();
    QSignalSpy authSpy(&state, &AppStateManager::isAuthenticatedChanged);
    QSignalSpy permissionSpy(&state, &AppStateManager::hasRequiredPermissionsChanged);
    state.setIsAuthenticated(true);
    state.setIsAuthenticated(true);
    state.setHasRequiredPermissions(true);
    state.setHasRequiredPermissions(true);
    QCOMPARE(authSpy.count(), 1);
    QCOMPARE(permissionSpy.count(), 1);
    // No capturer or monitor is set, so the permission service grants everything.
    state.setHasRequiredPermissions(false);
    state.refreshPermissions();
    QVERIFY(state.hasRequiredPermissions());
}

void TestAppStateManager::updateCheckSignedOutSendsNothing()
{
    FakeHrServer server;
    QVERIFY(server.start());
    Networking::ApiEndpoint::saveOverride(server.baseUrl());
    QCOMPARE(runCheck(), QStringList{ QStringLiteral("Sign in to check for updates.") });
    AppStateManager::instance().checkForUpdates({}); // an empty callback is skipped
    Networking::ApiEndpoint::saveOverride(std::nullopt);
    QCOMPARE(server.requestCount(), 0);
}

void TestAppStateManager::updateCheckFindsNewerVersion()
{
    SignedInClient signedIn;
    signedIn.setLatestVersion(QStringLiteral("9.0"));
    auto &state = AppStateManager::instance();
    QSignalSpy verdictSpy(&state, &AppStateManager::forceClientUpdateChanged);

    QCOMPARE(runCheck(), QStringList{ QStringLiteral("A newer version is available.") });
    QVERIFY(state.forceClientUpdate());
    QCOMPARE(state.requiredVersion(), std::optional(QStringLiteral("9.0")));
    QCOMPARE(verdictSpy.count(), 1);
    QCOMPARE(signedIn.server.requestCount(FakeHrRoute::Configuration), 1);
}

void TestAppStateManager::updateCheckUpToDate()
{
    SignedInClient signedIn;
    const QStringList answers = runCheck(); // the stand-in names 0.1.0 as the latest
    QCOMPARE(answers, QStringList{ QStringLiteral("You’re up to date.") });
    QCOMPARE(answers.constFirst().size(), 18);
    QVERIFY(!AppStateManager::instance().forceClientUpdate());
}

void TestAppStateManager::updateCheckFailureLeavesStateAlone()
{
    auto &state = AppStateManager::instance();
    state.setRemoteConfig(configWith(QStringLiteral("2.0"), std::nullopt));
    SignedInClient signedIn;
    signedIn.server.stopListening();
    QSignalSpy configSpy(&state, &AppStateManager::remoteConfigChanged);

    QCOMPARE(runCheck(), QStringList{ QStringLiteral("Failed to check for updates.") });
    QCOMPARE(configSpy.count(), 0);
    QVERIFY(state.forceClientUpdate());
    QCOMPARE(state.requiredVersion(), std::optional(QStringLiteral("2.0")));
}

void TestAppStateManager::secondCheckInsideTheFirstFailsAtOnce()
{
    SignedInClient signedIn;
    signedIn.server.addFault(FakeHrRoute::Configuration, FakeHrFault::delay(300));
    QStringList inner;
    // Runs inside the first check's nested event loop, while its request waits for the answer.
    QTimer::singleShot(50, &signedIn.server, [&inner] { inner = runCheck(); });

    QCOMPARE(runCheck(), QStringList{ QStringLiteral("You’re up to date.") });
    QCOMPARE(inner, QStringList{ QStringLiteral("Failed to check for updates.") });
    QCOMPARE(signedIn.server.requestCount(FakeHrRoute::Configuration), 1);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAppStateManager)

#include "tst_appstatemanager.moc"
