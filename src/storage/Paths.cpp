#include "storage/Paths.h"

#include <QDir>
#include <QStandardPaths>

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
    QString base = environmentPath("XDG_RUNTIME_DIR");
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
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
