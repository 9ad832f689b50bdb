#include "SQLiteStoreFixture.h"

#include "storage/Paths.h"

#include <QDebug>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace SQLiteStoreFixture {

QString databaseFile()
{
    return Platform::Paths::databasePath();
}

bool sqlite(const QString &file, const QString &sql, QStringList *rows)
{
    QProcess shell;
    shell.start(u"sqlite3"_s, { u"-batch"_s, u"-bail"_s, file });
    if (!shell.waitForStarted()) {
        qWarning() << "sqlite3 did not start:" << shell.errorString();
        return false;
    }
    shell.write(sql.toUtf8());
    shell.closeWriteChannel();
    if (!shell.waitForFinished(60000) || shell.exitStatus() != QProcess::NormalExit
        || shell.exitCode() != 0) {
        qWarning() << "sqlite3 failed:" << shell.readAllStandardError();
        return false;
    }
    if (rows)
        *rows = QString::fromUtf8(shell.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    return true;
}

Models::Session session(const QDateTime &start, const std::optional<QDateTime> &stop,
                        const QString &projectName)
{
    return Models::Session(QUuid::createUuid(), u"DEVICE-1"_s, u"p1"_s, projectName,
                           { Models::Interval(QUuid::createUuid(), start, stop) }, 10, 20, 55.5,
                           Models::SessionStatus::completed, std::nullopt, std::nullopt);
}

Models::UploadTask task(Models::UploadTaskType type, int priority, const QDateTime &createdAt,
                        Models::UploadTaskStatus status)
{
    return Models::UploadTask(QUuid::createUuid(), QUuid::createUuid(), type, std::nullopt,
                              QByteArray("{}"), 0, createdAt, status, priority);
}

} // namespace SQLiteStoreFixture
