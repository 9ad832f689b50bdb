#include "storage/CredentialFallbackFile.h"

#include "storage/Log.h"
#include "storage/Paths.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryFile>

using namespace Qt::StringLiterals;

namespace Platform {

namespace {

Q_CONSTINIT QMutex s_mutex;

// Makes a completed rename survive a power cut; a failure here loses nothing already written.
void syncDirectory(const QString &directory)
{
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool reportWriteFailure(const QString &reason)
{
    Core::Log::write(Core::Log::Category::Auth, Core::Log::Level::Error,
                     u"Could not write the credential fallback file: %1"_s.arg(reason));
    return false;
}

} // namespace

QString CredentialFallbackFile::path()
{
    return Paths::dataDir() + u"/credentials.fallback.json"_s;
}

QString CredentialFallbackFile::entryKey(const QString &service, const QString &account,
                                         const QString &kind)
{
    return service + u'|' + account + u'|' + kind;
}

bool CredentialFallbackFile::store(const QString &key, const QByteArray &secret)
{
    const QMutexLocker locker(&s_mutex);
    const QString file = path();
    QJsonObject object = read(file);
    object.insert(key, QString::fromLatin1(secret.toBase64()));
    return write(file, object);
}

std::optional<QByteArray> CredentialFallbackFile::load(const QString &key)
{
    const QMutexLocker locker(&s_mutex);
    const QJsonObject object = read(path());
    const auto entry = object.constFind(key);
    if (entry == object.constEnd())
        return std::nullopt;
    return QByteArray::fromBase64(entry->toString().toLatin1());
}

bool CredentialFallbackFile::remove(const QString &key)
{
    const QMutexLocker locker(&s_mutex);
    const QString file = path();
    QJsonObject object = read(file);
    if (!object.contains(key))
        return false;
    object.remove(key);
    return write(file, object);
}

QJsonObject CredentialFallbackFile::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool CredentialFallbackFile::write(const QString &path, const QJsonObject &object)
{
    const QString directory = QFileInfo(path).absolutePath();
    // Created with mode 0600 and only then filled, so the secrets are never readable by others.
    QTemporaryFile temporary(directory + u"/.credentials.fallback.json.XXXXXX"_s);
    if (!temporary.open())
        return reportWriteFailure(temporary.errorString());
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    if (!temporary.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || temporary.write(bytes) != bytes.size() || !temporary.flush())
        return reportWriteFailure(temporary.errorString());
    if (::fsync(temporary.handle()) != 0)
        return reportWriteFailure(qt_error_string(errno));
    // rename(2) replaces the old file in one step; QFile::rename refuses an existing target.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(path).constData())
        != 0)
        return reportWriteFailure(qt_error_string(errno));
    temporary.setAutoRemove(false);
    syncDirectory(directory);
    return true;
}

} // namespace Platform
