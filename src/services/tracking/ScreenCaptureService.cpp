#include "services/tracking/ScreenCaptureService.h"

#include "core/Clock.h"
#include "models/IsoDateTime.h"
#include "platform/IScreenCapturer.h"
#include "storage/ApiTimezone.h"
#include "storage/Paths.h"
#include "storage/SQLiteStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QPointer>
#include <QSaveFile>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace Qt::StringLiterals;

namespace Services {

namespace {

constexpr int firstCaptureDelayMs = 60000;
constexpr int minuteMs = 60000;
// The longest interval a QTimer holds; a larger configured value would overflow.
constexpr int maxIntervalMinutes = std::numeric_limits<int>::max() / minuteMs;

// The form both this folder listing and the upload queue's paths are compared in: absolute, with
// redundant separators and dots removed (a trailing "/" in XDG_DATA_HOME would otherwise make the
// same file two texts). Symbolic links are left alone on both sides.
QString comparablePath(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

void returnFreedMemory()
{
#ifdef __GLIBC__
    // The grabs, the scaled copies and the encoder's buffers are screen-sized. After the first
    // one glibc raises its mmap threshold, so later ones come from the heap and their pages stay
    // with the process until something trims them: ten minutes of nothing between captures.
    malloc_trim(0);
#endif
}

} // namespace

ScreenCaptureService::ScreenCaptureService(Platform::IScreenCapturer *capturer, QObject *parent)
    : QObject(parent)
    , m_capturer(capturer)
    , m_timer(new QTimer(this))
    , m_firstCaptureTimer(new QTimer(this))
{
    m_timer->setObjectName(u"captureTimer"_s);
    m_timer->setTimerType(Qt::CoarseTimer);
    connect(m_timer, &QTimer::timeout, this, &ScreenCaptureService::captureNow);

    m_firstCaptureTimer->setObjectName(u"firstCaptureTimer"_s);
    m_firstCaptureTimer->setSingleShot(true);
    m_firstCaptureTimer->setTimerType(Qt::CoarseTimer);
    m_firstCaptureTimer->setInterval(firstCaptureDelayMs);
    connect(m_firstCaptureTimer, &QTimer::timeout, this, &ScreenCaptureService::onFirstCaptureDue);
}

ScreenCaptureService::~ScreenCaptureService()
{
    stop();
}

void ScreenCaptureService::start(const QUuid &sessionId, int intervalMinutes,
                                 const QString &domainKey)
{
    stop();
    m_sessionId = sessionId;
    m_domainKey = domainKey;
    m_timer->setInterval(std::clamp(intervalMinutes, 1, maxIntervalMinutes) * minuteMs);
    m_firstCaptureTimer->start();
}

void ScreenCaptureService::stop()
{
    ++m_generation;
    m_timer->stop();
    m_firstCaptureTimer->stop();
}

void ScreenCaptureService::onFirstCaptureDue()
{
    const quint64 generation = m_generation;
    const QPointer<ScreenCaptureService> self(this);
    captureNow();
    // A receiver of screenshotSaved may have stopped or restarted capturing meanwhile (the live
    // heartbeat runs a nested event loop): then the periodic captures must not begin.
    if (self && generation == m_generation)
        m_timer->start();
}

void ScreenCaptureService::captureNow()
{
    // Copies: a receiver of screenshotSaved may start another session while this capture runs,
    // and every file of this capture still belongs to the first one.
    const QUuid sessionId = m_sessionId;
    const QString domainKey = m_domainKey.isEmpty() ? u"global"_s : m_domainKey;
    if (!m_capturer || sessionId.isNull() || !m_capturer->isAvailable())
        return;

    {
        const QList<QImage> images = m_capturer->captureScreens();
        const QString folder = Platform::Paths::capturesDirFor(domainKey);
        const qint64 capturedAt = Core::Clock::nowUtc().toMSecsSinceEpoch();

        const QPointer<ScreenCaptureService> self(this);
        for (qsizetype i = 0; i < images.size(); ++i) {
            const QString path = folder + u'/' + screenshotFileName(sessionId, capturedAt, int(i));
            if (!writeJpeg(scaledForCapture(images.at(i)), path))
                continue;
            Q_EMIT screenshotSaved(path);
            if (!self)
                return;
        }
        pruneDirectory(folder, folderFileLimit);
    }
    returnFreedMemory();
}

QSize ScreenCaptureService::clampCaptureSize(const QSize &size)
{
    const int w = size.width();
    const int h = size.height();
    if (w <= 0)
        return { 1, h > 0 ? h : 1 };
    if (h <= 0)
        return { w, 1 };
    const int longer = std::max(w, h);
    if (longer <= maxLongerSide)
        return size;
    const double factor = double(maxLongerSide) / longer;
    // qRound rounds halves away from zero.
    return { std::max(1, qRound(w * factor)), std::max(1, qRound(h * factor)) };
}

QImage ScreenCaptureService::scaledForCapture(const QImage &image)
{
    const QSize target = clampCaptureSize(image.size());
    if (target == image.size())
        return image;
    // The target already keeps the aspect ratio; letting Qt keep it again could round a side off
    // by one.
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool ScreenCaptureService::writeJpeg(const QImage &image, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, "jpeg");
    writer.setQuality(jpegQuality);
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString ScreenCaptureService::screenshotFileName(const QUuid &sessionId, qint64 msecsSinceEpoch,
                                                 int index)
{
    const QDateTime capturedAt = QDateTime::fromMSecsSinceEpoch(msecsSinceEpoch, Qt::UTC);
    QString stamp = Models::toIsoSecondsInZone(capturedAt, ApiTimezone::zone());
    stamp.replace(u':', u'-');
    return u"%1_%2_%3.jpg"_s.arg(sessionId.toString(QUuid::WithoutBraces).toUpper(), stamp,
                                 QString::number(index));
}

void ScreenCaptureService::pruneDirectory(const QString &folder, int limit)
{
    const QDir dir(folder);
    if (!dir.exists())
        return;
    // QDir::Files leaves out directories, "." and "..", and hidden files.
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::NoSort);
    if (files.size() <= limit)
        return;

    QSet<QString> queued;
    for (const QString &path : Storage::SQLiteStore::instance()->pendingUploadFilePaths())
        queued.insert(comparablePath(path));

    std::vector<std::pair<qint64, QString>> oldestFirst;
    oldestFirst.reserve(size_t(files.size()));
    for (const QFileInfo &info : files)
        oldestFirst.emplace_back(info.lastModified().toMSecsSinceEpoch(), info.fileName());
    std::sort(oldestFirst.begin(), oldestFirst.end());

    qsizetype excess = files.size() - limit;
    for (const auto &[modified, name] : oldestFirst) {
        if (excess <= 0)
            break;
        const QString path = folder + u'/' + name;
        if (queued.contains(comparablePath(path)))
            continue;
        if (QFile::remove(path))
            --excess;
    }
}

} // namespace Services
