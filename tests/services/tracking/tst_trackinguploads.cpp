#include "RecordingUploads.h"
#include "TestEnvironment.h"

#include "services/tracking/ITrackingUploads.h"
#include "services/tracking/UploadServiceForwarder.h"

#include <QCoreApplication>
#include <QTest>

using TestSupport::RecordingUploads;

class TestTrackingUploads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void forwardsToTheUploadServiceByDefault();
    void installedStandInReceivesTheCalls();
};

void TestTrackingUploads::forwardsToTheUploadServiceByDefault()
{
    auto &uploads = Services::trackingUploads();
    QVERIFY(dynamic_cast<Services::UploadServiceForwarder *>(&uploads));
    // The upload service has no store and no worker yet: both calls do nothing.
    uploads.enqueueSessionStart(Models::Session());
    uploads.wakeWorker();
}

void TestTrackingUploads::installedStandInReceivesTheCalls()
{
    {
        RecordingUploads recorder;
        recorder.heartbeatResult = Services::ITrackingUploads::HeartbeatResult::Deferred;
        auto &uploads = Services::trackingUploads();
        QCOMPARE(&uploads, &recorder);
        Models::Session session;
        session.id = QUuid::createUuid();
        uploads.enqueueSessionStart(session);
        QCOMPARE(uploads.uploadHeartbeatNow(session),
                 Services::ITrackingUploads::HeartbeatResult::Deferred);
        uploads.wakeWorker();
        QCOMPARE(recorder.kinds(),
                 (QStringList{ QStringLiteral("start"), QStringLiteral("heartbeat") }));
        QCOMPARE(recorder.calls.size(), 3);
        QCOMPARE(recorder.calls.constFirst().session.id, session.id);
    }
    QVERIFY(dynamic_cast<Services::UploadServiceForwarder *>(&Services::trackingUploads()));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestTrackingUploads)

#include "tst_trackinguploads.moc"
