#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <QUuid>

class QImage;
class QTimer;

namespace Platform {
class IScreenCapturer;
}

namespace Services {

// Takes the screenshots of a tracked session: a first capture one minute after start, then one
// every configured number of minutes. Each capture writes one JPEG per screen into the current
// domain's capture folder, named "<SESSION-ID>_<company-zone time>_<screen index>.jpg", announces
// each file, then prunes the folder to 500 files, sparing those still queued for upload.
//
// GUI thread only: the timers, the capturer call, scaling, encoding, the signal and pruning all run
// there. The capturer is not owned; without one nothing is captured.
class ScreenCaptureService final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenCaptureService)

public:
    static constexpr int maxLongerSide = 1920;
    static constexpr int jpegQuality = 60;
    static constexpr int folderFileLimit = 500;

    explicit ScreenCaptureService(Platform::IScreenCapturer *capturer, QObject *parent = nullptr);
    ~ScreenCaptureService() override;

    // Ends any capturing, then arms the first capture 60 s from now; later captures follow every
    // max(1, intervalMinutes) minutes. An empty domain key writes into the "global" folder.
    void start(const QUuid &sessionId, int intervalMinutes, const QString &domainKey);
    // Stops the periodic timer and cancels a pending first capture; the session and domain stay.
    void stop();
    // One capture now, for the session and domain of the latest start.
    void captureNow();

    // The size an image is saved at: the longer side at most 1920 px, the aspect ratio kept, each
    // side at least 1.
    static QSize clampCaptureSize(const QSize &size);
    // The image at clampCaptureSize, smoothly scaled when that differs.
    static QImage scaledForCapture(const QImage &image);
    // Writes the JPEG through a temporary file, so no reader ever sees half a file.
    static bool writeJpeg(const QImage &image, const QString &path);
    static QString screenshotFileName(const QUuid &sessionId, qint64 msecsSinceEpoch, int index);
    // Deletes the oldest regular files until at most limit remain, sparing every file the current
    // domain's upload queue still holds.
    static void pruneDirectory(const QString &folder, int limit);

Q_SIGNALS:
    // Emitted once per written file, with its absolute path. Receivers connected directly run
    // before the next screen's image is scaled.
    void screenshotSaved(const QString &path);

private:
    void onFirstCaptureDue();

    Platform::IScreenCapturer *m_capturer = nullptr;
    QTimer *m_timer = nullptr;
    QUuid m_sessionId;
    QString m_domainKey;
    QTimer *m_firstCaptureTimer = nullptr;
    // Bumped by every stop(), so a first capture can tell whether a receiver stopped or restarted
    // capturing while it ran.
    quint64 m_generation = 0;
};

} // namespace Services
