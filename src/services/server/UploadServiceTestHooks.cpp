#include "services/server/UploadServiceTestHooks.h"

#include <QThread>

namespace Services {

namespace UploadWorkerSettings {
void setSweepIntervalMs(int milliseconds);
int workerRounds();
} // namespace UploadWorkerSettings

int UploadServiceTestHooks::processQueue(UploadService &service)
{
    return service.processQueue();
}

void UploadServiceTestHooks::setStore(UploadService &service, Storage::SQLiteStore *store)
{
    service.m_store = store;
}

std::optional<Networking::APIError>
UploadServiceTestHooks::sendSegmentsBatch(UploadService &service, const Models::UploadTask &task)
{
    return service.sendSegmentsBatch(task);
}

UploadService::ScreenshotUploadResult
UploadServiceTestHooks::uploadScreenshot(UploadService &service, const Models::UploadTask &task)
{
    return service.uploadScreenshot(task);
}

void UploadServiceTestHooks::enqueueOrphanedScreenshots(UploadService &service)
{
    service.enqueueOrphanedScreenshots();
}

QByteArray UploadServiceTestHooks::restampScreenshotName(const QString &fileName,
                                                         const QUuid &sessionId,
                                                         const QTimeZone &zone)
{
    return UploadService::restampScreenshotName(fileName, sessionId, zone);
}

QList<Models::UploadTask> UploadServiceTestHooks::scanCaptureFolder(
        const QString &folder, const UploadService::QueuedPredicate &isQueued, const QDateTime &now)
{
    return UploadService::scanCaptureFolder(folder, isQueued, now);
}

void UploadServiceTestHooks::setSweepIntervalMs(int milliseconds)
{
    UploadWorkerSettings::setSweepIntervalMs(milliseconds);
}

int UploadServiceTestHooks::workerRounds()
{
    return UploadWorkerSettings::workerRounds();
}

bool UploadServiceTestHooks::isWorkerRunning(const UploadService &service)
{
    return service.m_worker && service.m_worker->isRunning();
}

void UploadServiceTestHooks::setStopRequested(UploadService &service, bool requested)
{
    service.m_stopRequested = requested;
}

} // namespace Services
