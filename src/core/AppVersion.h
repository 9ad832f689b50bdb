#pragma once

#include <QList>
#include <QString>

// The running version, the one source for the start-up log line, the Settings view and the
// forced-update rule. Pure functions; any thread.
namespace Core {

// "1.4.3".
QString appVersion();
// "11".
QString appBuildNumber();

// One number per "."-separated part, empty parts kept: the part's leading run of decimal digits
// read as base 10, 0 when the run is empty or does not fit an int ("1..2" gives 1, 0, 2).
QList<int> parseVersion(const QString &text);
// True when a is older than b, compared part by part with missing parts as 0.
bool isVersionLower(const QString &a, const QString &b);

} // namespace Core
