#include "FileSizeLimit.h"
#include "SessionManagerFixture.h"
#include "TestEnvironment.h"

#include "services/tracking/PermissionService.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

using Core::SessionManager;
using Kind = TestSupport::RecordingUploads::Kind;

namespace {

const QDateTime t0
        = QDateTime::fromString(QStringLiteral("2025-03-01T09:00:00.000Z"), Qt::ISODateWithMs);

void grantPermissions(SessionManagerFixture &fixture)
{
    auto &permissions = Services::PermissionService::instance();
    permissions.setScreenCapturer(fixture.platform.capturer.get());
    permissions.setInputMonitor(fixture.platform.input.get());
}

} // namespace

// The engine over a real store file whose disk runs full (a file size limit, which binds root
// too): nothing may look tracked that is not kept. The log is on the same full disk, so what it
// says is checked in the store's own tests.
class TestSessionManagerStorage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startRefusesWhenNothingCanBeSaved();
    void failedWriteWhileTrackingWarnsUntilWritesWork();
};

void TestSessionManagerStorage::startRefusesWhenNothingCanBeSaved()
{
    SessionManagerFixture fixture(t0);
    grantPermissions(fixture);
    const QString folder = fixture.store->folder();
    {
        const TestSupport::FileSizeLimit full(1);
        QVERIFY(full.isActive());
        QSignalSpy spy(&fixture.engine(), &SessionManager::stateChanged);
        fixture.engine().startTrackingWithoutProject();
        QVERIFY(!fixture.engine().isTracking());
        QCOMPARE(spy.count(), 1);
        const QString message = fixture.engine().statusMessage();
        QVERIFY2(message.startsWith(QStringLiteral("Tracking can't start: your work can't be saved "
                                                   "in the folder %1 (")
                                            .arg(folder)),
                 qPrintable(message));
        QVERIFY(fixture.uploads.calls.isEmpty());
        QVERIFY(fixture.engine().storageWarning().contains(folder));
    }

    // With space again the next start works and the warning is gone.
    fixture.engine().startTrackingWithoutProject();
    QVERIFY(fixture.engine().isTracking());
    QCOMPARE(fixture.engine().storageWarning(), QString());
    QCOMPARE(fixture.uploads.callsOf(Kind::SessionStart).size(), 1);
}

void TestSessionManagerStorage::failedWriteWhileTrackingWarnsUntilWritesWork()
{
    SessionManagerFixture fixture(t0);
    grantPermissions(fixture);
    fixture.engine().startTrackingWithoutProject();
    QVERIFY(fixture.engine().isTracking());
    const QUuid id = fixture.engine().activeSession()->id;
    fixture.advance(60);
    {
        const TestSupport::FileSizeLimit full(1);
        QSignalSpy spy(&fixture.engine(), &SessionManager::stateChanged);
        fixture.engine().pause();
        QVERIFY(spy.count() >= 1);
        const QString warning = fixture.engine().storageWarning();
        QVERIFY2(warning.contains(fixture.store->folder()), qPrintable(warning));
        // It stays while nothing can be written.
        fixture.tick();
        QCOMPARE(fixture.engine().storageWarning(), warning);
    }
    // What was stored before the disk ran full is still there.
    const std::optional<Models::Session> stored = fixture.store->loadActiveSession();
    QVERIFY(stored);
    QCOMPARE(stored->id, id);

    fixture.engine().resumeTracking();
    QCOMPARE(fixture.engine().storageWarning(), QString());
    QCOMPARE(fixture.store->loadActiveSession()->intervals.size(), 2);
}

int main(int argc, char **argv)
{
    return TestSupport::runTest<QCoreApplication, TestSessionManagerStorage>(argc, argv);
}

#include "tst_sessionmanager_storage.moc"
