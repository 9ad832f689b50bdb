#pragma once

#include <QString>

// Where the program keeps its files. Every directory operation creates its directory (with every
// missing parent) before it returns, so a caller may open a file there at once; a directory that
// cannot be created is not reported and its path is returned all the same. The environment is read
// again on every call and nothing is cached, so the functions may run on any thread at once.
namespace Platform::Paths {

// Creates the path with every missing parent and returns it unchanged, whether or not that worked.
QString ensureDir(const QString &path);
// The environment variable (local 8-bit text) when it is non-empty, else the fallback base, with
// "/TembrixClockwarden" appended. The value is used unchanged: relative paths and trailing
// separators stay as they are.
QString xdgAppDir(const char *variableName, const QString &fallbackBase);

QString configDir();
QString dataDir();
QString stateDir();
// XDG_RUNTIME_DIR + "/tembrix-clockwarden". Without XDG_RUNTIME_DIR: the system temporary
// directory + "/tembrix-clockwarden" while that is this user's own directory, else
// + "/tembrix-clockwarden-<uid>"; either is made 0700.
QString runtimeDir();

// configDir() + "/config.json", the cached remote configuration.
QString configFilePath();
// dataDir() + "/clockwarden.sqlite".
QString databasePath();
// dataDir() + "/captures"; creates only the data directory, not "captures" itself.
QString capturesRoot();
// capturesRoot() + "/" + domainKey, created with every missing parent.
QString capturesDirFor(const QString &domainKey);
// stateDir() + "/logs/app.log"; creates "logs" but not the file.
QString logFilePath();

} // namespace Platform::Paths
