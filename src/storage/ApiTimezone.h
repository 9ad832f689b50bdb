#pragma once

#include "models/RemoteConfig.h"

#include <QString>
#include <QTimeZone>

#include <optional>

// The company time zone, which decides days, segment numbers and file time stamps. Its IANA
// identifier lives in the preferences store; without one, the system zone rules. Any thread may
// call; the preferences store's lock covers each read and write.
namespace Services::ApiTimezone {

// The trimmed app time zone of the configuration when it names a valid zone, else the system
// zone's identifier at this moment.
QString identifierFromConfig(const std::optional<Models::RemoteConfig> &config);
void storeFromConfig(const std::optional<Models::RemoteConfig> &config);
// Stores the identifier of the cached "config.json"; an unreadable or undecodable file changes
// nothing.
void restoreFromCachedConfig();

// The stored identifier, unchanged, else the system zone's identifier.
QString identifier();
// The zone of identifier(), or the system zone when that names no valid zone.
QTimeZone zone();
// The zone a given identifier names, without touching the store; the system zone when it names
// none.
QTimeZone fromIdentifier(const std::optional<QString> &identifier);
void clear();

} // namespace Services::ApiTimezone
