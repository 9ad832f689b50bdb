#pragma once

#include "models/UploadTask.h"
#include "networking/APIError.h"
#include "services/server/UploadService.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>
#include <QUuid>

#include <optional>

namespace Services {

// For tests and benchmarks only: the program never calls these. They reach the upload service's
// private steps so a test can run a pass on its own thread, without the worker.
class UploadServiceTestHooks final
{
public:
    UploadServiceTestHooks() = delete;

    static int processQueue(UploadService &service);
    // Keeps the store without the launch cleanup and without a worker, as a pass needs it.
    static void setStore(UploadService &service, Storage::SQLiteStore *store);
    static std::optional<Networking::APIError> sendSegmentsBatch(UploadService &service,
                                                                 const Models::UploadTask &task);
    static UploadService::ScreenshotUploadResult uploadScreenshot(UploadService &service,
                                                                  const Models::UploadTask &task);
    static void enqueueOrphanedScreenshots(UploadService &service);
    static QByteArray restampScreenshotName(const QString &fileName, const QUuid &sessionId,
                                            const QTimeZone &zone);
    static QList<Models::UploadTask>
    scanCaptureFolder(const QString &folder, const UploadService::QueuedPredicate &isQueued,
                      const QDateTime &now);
    // Replaces the 900000 ms between the worker's sweeps; 0 or less restores it.
    static void setSweepIntervalMs(int milliseconds);
    static bool isWorkerRunning(const UploadService &service);
    // Sets the stop request alone, as stop() does first, without the HTTP abort flag.
    static void setStopRequested(UploadService &service, bool requested);
    // Rounds of the worker loop finished so far in this process, a pass run or skipped.
    static int workerRounds();
};

} // namespace Services
