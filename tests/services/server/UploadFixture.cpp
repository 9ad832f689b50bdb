#include "UploadFixture.h"

#include "models/Interval.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "networking/NetworkMonitor.h"
#include "services/server/AuthNotifications.h"
#include "services/server/UploadCircuitBreaker.h"
#include "services/server/UploadClock.h"
#include "services/server/UploadService.h"
#include "services/server/UploadServiceTestHooks.h"
#include "storage/Log.h"
#include "storage/Paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace UploadFixture {

LogReader::LogReader()
{
    Core::Log::install();
    mark();
}

void LogReader::mark()
{
    m_offset = QFileInfo(Platform::Paths::logFilePath()).size();
}

QStringList LogReader::lines() const
{
    QFile file(Platform::Paths::logFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    file.seek(m_offset);
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList LogReader::linesContaining(const QString &text) const
{
    return lines().filter(text);
}

void prepareProcess()
{
    qRegisterMetaType<Services::ServerTodayTotal>();
    Services::AuthNotifications::instance();
    Networking::NetworkMonitor::instance();
}

Bench::Bench() = default;

Bench::~Bench()
{
    Services::UploadServiceTestHooks::setStore(Services::UploadService::instance(), nullptr);
    Services::UploadClock::setOffsetMs(0);
    Networking::APIClient::setTokenStore(nullptr);
    Networking::APIClient::setTokenRefresher(nullptr);
    Networking::ApiEndpoint::saveOverride(std::nullopt);
}

bool Bench::start()
{
    if (!server.start())
        return false;
    Networking::ApiEndpoint::saveOverride(server.baseUrl());
    Networking::APIClient::setTokenStore(&tokens);
    signIn();
    store = std::make_unique<Storage::SQLiteStore>();
    store->clearAll();
    store->setDomainKey(Networking::ApiEndpoint::domainKey());
    QDir(Platform::Paths::capturesRoot() + u"/"_s).removeRecursively();
    Services::UploadServiceTestHooks::setStore(Services::UploadService::instance(), store.get());
    Services::UploadCircuitBreaker::instance().recordSuccess();
    Services::UploadClock::setOffsetMs(0);
    return true;
}

void Bench::signIn()
{
    issued = ::signIn(server, tokens);
}

void Bench::signOut()
{
    tokens.clear();
}

Models::Session session()
{
    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-60);
    return Models::Session(QUuid::createUuid(), u"DEVICE-1"_s, u"p1"_s, u"Project"_s,
                           { Models::Interval(QUuid::createUuid(), start, std::nullopt) }, 10, 20,
                           55.5, Models::SessionStatus::active, std::nullopt, std::nullopt);
}

Models::UploadTask task(Models::UploadTaskType type, const QUuid &sessionId,
                        const std::optional<QByteArray> &body,
                        const std::optional<QString> &filePath, const QDateTime &createdAt)
{
    int priority = Models::UploadTask::screenshotPriority;
    switch (type) {
    case Models::UploadTaskType::startSession:
        priority = Models::UploadTask::startSessionPriority;
        break;
    case Models::UploadTaskType::heartbeat:
        priority = Models::UploadTask::heartbeatPriority;
        break;
    case Models::UploadTaskType::activitySegment:
        priority = Models::UploadTask::activitySegmentPriority;
        break;
    default:
        break;
    }
    return Models::UploadTask(QUuid::createUuid(), sessionId, type, filePath, body, 0, createdAt,
                              Models::UploadTaskStatus::pending, priority);
}

QString capturesDir()
{
    return Platform::Paths::capturesDirFor(Networking::ApiEndpoint::domainKey());
}

QString captureFile(const QUuid &sessionId, const QString &stamp, int screen,
                    const QByteArray &content)
{
    const QString path = QDir(capturesDir())
                                 .absoluteFilePath(u"%1_%2_%3.jpg"_s.arg(
                                         sessionId.toString(QUuid::WithoutBraces).toUpper(), stamp,
                                         QString::number(screen)));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qWarning("could not write a capture file");
    return path;
}

QStringList sql(const QString &statement)
{
    QProcess shell;
    shell.start(u"sqlite3"_s, { u"-batch"_s, Platform::Paths::databasePath() });
    if (!shell.waitForStarted())
        return { u"<sqlite3 did not start>"_s };
    shell.write(statement.toUtf8());
    shell.closeWriteChannel();
    shell.waitForFinished(30000);
    return QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList queueRows()
{
    return sql(u"SELECT type, status, retry_count, session_id FROM upload_queue "
               "ORDER BY priority DESC, created_at ASC;"_s);
}

int queuedCount()
{
    return static_cast<int>(queueRows().size());
}

} // namespace UploadFixture
