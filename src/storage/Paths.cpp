#include "storage/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QStandardPaths>

#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Platform::Paths {

namespace {

const auto applicationFolder = "TembrixClockwarden"_L1;
const auto runtimeFolder = "tembrix-clockwarden"_L1;

// An empty variable counts as unset.
QString environmentPath(const char *variableName)
{
    return QString::fromLocal8Bit(qgetenv(variableName));
}

// True when path is (after creating it if missing) a real directory of this user, now 0700.
bool claimPrivateDir(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    ::mkdir(native.constData(), 0700);
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::geteuid())
        return false;
    return ::chmod(native.constData(), 0700) == 0;
}

// A fresh directory of this process's own, made once per temporary directory and kept for the
// run, so the lock and the socket always land in the same place.
QString runPrivateDir(const QString &base)
{
    static QMutex mutex;
    static QHash<QString, QString> made;
    const QMutexLocker locker(&mutex);
    if (const auto found = made.constFind(base); found != made.constEnd())
        return *found;
    QByteArray pattern = QFile::encodeName(base + "-XXXXXX"_L1);
    // mkdtemp creates the directory 0700 and never reuses an existing name.
    if (::mkdtemp(pattern.data()) == nullptr)
        return QString();
    const QString path = QFile::decodeName(pattern);
    made.insert(base, path);
    return path;
}

// The shared temporary directory is no per-user place: another user may already own the plain
// name (or have put a file or link there), so such a user gets a name with their own uid, and
// when that is taken too, a new directory for this run.
QString privateTemporaryRuntimeDir()
{
    const QString base
            = QStandardPaths::writableLocation(QStandardPaths::TempLocation) + u'/' + runtimeFolder;
    if (claimPrivateDir(base))
        return base;
    const QString own = base + u'-' + QString::number(::geteuid());
    if (claimPrivateDir(own))
        return own;
    return runPrivateDir(own);
}

} // namespace

QString ensureDir(const QString &path)
{
    // Each missing level is made private from the start: with the process umask alone a
    // directory would be readable by others for a moment, or for good where the umask is lax.
    QStringList missing;
    QString existing = QDir::cleanPath(path);
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        missing.prepend(existing);
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            break;
        existing = parent;
    }
    for (const QString &level : std::as_const(missing))
        ::mkdir(QFile::encodeName(level).constData(), 0700);
    // A folder of ours made by an earlier version is closed too; others' folders are left alone.
    const QByteArray native = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::geteuid() && (info.st_mode & 077) != 0)
        ::chmod(native.constData(), info.st_mode & 0700);
    return path;
}

QString xdgAppDir(const char *variableName, const QString &fallbackBase)
{
    QString base = environmentPath(variableName);
    if (base.isEmpty())
        base = fallbackBase;
    return base + u'/' + applicationFolder;
}

QString configDir()
{
    return ensureDir(xdgAppDir("XDG_CONFIG_HOME", QDir::homePath() + "/.config"_L1));
}

QString dataDir()
{
    return ensureDir(xdgAppDir("XDG_DATA_HOME", QDir::homePath() + "/.local/share"_L1));
}

QString stateDir()
{
    return ensureDir(xdgAppDir("XDG_STATE_HOME", QDir::homePath() + "/.local/state"_L1));
}

QString runtimeDir()
{
    const QString base = environmentPath("XDG_RUNTIME_DIR");
    if (base.isEmpty())
        return privateTemporaryRuntimeDir();
    return ensureDir(base + u'/' + runtimeFolder);
}

QString configFilePath()
{
    return configDir() + "/config.json"_L1;
}

QString databasePath()
{
    return dataDir() + "/clockwarden.sqlite"_L1;
}

QString capturesRoot()
{
    return dataDir() + "/captures"_L1;
}

QString capturesDirFor(const QString &domainKey)
{
    return ensureDir(ensureDir(capturesRoot()) + u'/' + domainKey);
}

QString logFilePath()
{
    return ensureDir(stateDir() + "/logs"_L1) + "/app.log"_L1;
}

} // namespace Platform::Paths
