#include "ApiClientFixture.h"
#include "FakeHrServer.h"
#include "FakePlatformIntegration.h"
#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "networking/ApiEndpoint.h"
#include "services/server/RemoteConfigService.h"
#include "storage/LibSecretCredentialStore.h"
#include "storage/TokenStore.h"
#include "ui/main/Application.h"
#include "ui/main/ApplicationTestHooks.h"
#include "ui/main/PopoverWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStackedWidget>
#include <QTest>

using namespace Qt::StringLiterals;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrServer;

// One start-up per process: signed in, with a cached configuration that forces an update.
class TestApplicationForced : public QObject
{
    Q_OBJECT

private slots:
    void cachedForcedUpdateRaisesTheNewPopoverOnce();
};

void TestApplicationForced::cachedForcedUpdateRaisesTheNewPopoverOnce()
{
    FakeHrServer server;
    QVERIFY(server.start());
    Networking::ApiEndpoint::saveOverride(server.baseUrl());
    {
        Platform::LibSecretCredentialStore credentials;
        Storage::TokenStore tokens(&credentials);
        signIn(server, tokens);
    }
    Models::RemoteConfig cached;
    cached.latestClientVersionLinux = u"9.9.9"_s;
    const QString path = Services::RemoteConfigService::cachePath();
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(cached.toJson()).toJson(QJsonDocument::Compact));
    file.close();

    Core::ApplicationTestHooks::setSystemTrayAvailable([] { return true; });
    Core::ApplicationTestHooks::setMessageBoxHandler(
            [](Core::ApplicationTestHooks::MessageKind, const QString &) {});
    Core::ApplicationTestHooks::setPlatformIntegrationFactory(
            [] { return std::make_unique<TestSupport::FakePlatformIntegration>(); });
    {
        Core::Application app;
        QVERIFY(app.start());
        QVERIFY(Core::AppStateManager::instance().forceClientUpdate());
        QCOMPARE(app.forceUpdateRaiseCount(), 1);
        QTRY_COMPARE(app.popoverWindow()->stack()->currentIndex(), 2);
        QVERIFY(app.popoverWindow()->isVisible());
        // The queued notice of the same verdict raises nothing more.
        QCoreApplication::processEvents();
        QCOMPARE(app.forceUpdateRaiseCount(), 1);
        // The cached configuration rules; nothing was fetched.
        QCOMPARE(server.requestCount(FakeHrRoute::Configuration), 0);
        app.shutdown();
    }
    Networking::ApiEndpoint::saveOverride(std::nullopt);
}

CLOCKWARDEN_TEST_MAIN(TestApplicationForced)
#include "tst_application_forced.moc"
