#include "storage/Paths.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

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

// The shared temporary directory is no per-user place: another user may already own the plain
// name (or have put a file or link there), so such a user gets a name with their own uid.
QString privateTemporaryRuntimeDir()
{
    const QString base
            = QStandardPaths::writableLocation(QStandardPaths::TempLocation) + u'/' + runtimeFolder;
    if (claimPrivateDir(base))
        return base;
    const QString own = base + u'-' + QString::number(::geteuid());
    claimPrivateDir(own);
    return own;
}

} // namespace

QString ensureDir(const QString &path)
{
    QDir().mkpath(path);
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
    return ensureDir(capturesRoot() + u'/' + domainKey);
}

QString logFilePath()
{
    return ensureDir(stateDir() + "/logs"_L1) + "/app.log"_L1;
}

} // namespace Platform::Paths
