#include "storage/ApiTimezone.h"

#include "models/JsonReaders.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Services::ApiTimezone {

namespace {

QString systemIdentifier()
{
    return QString::fromLatin1(QTimeZone::systemTimeZoneId());
}

// Whether the time-zone database holds a zone of that name, where Qt looks for it.
bool hasZoneFile(const QString &identifier)
{
    return QFileInfo(u"/usr/share/zoneinfo/"_s + identifier).isFile()
           || QFileInfo(u"/usr/lib/zoneinfo/"_s + identifier).isFile();
}

// Qt 6.4 reads a name it does not find in the time-zone database as a POSIX rule, and one without
// an offset ("abc", "null") as a valid zone of UTC+0. A bare name with neither a "/" nor an offset
// digit therefore counts only when Qt lists it ("UTC") or the database has it ("CET", "GMT").
std::optional<QTimeZone> validZone(const QString &identifier)
{
    if (identifier.isEmpty())
        return std::nullopt;
    const QByteArray id = identifier.toUtf8();
    QTimeZone zone(id);
    if (!zone.isValid())
        return std::nullopt;
    const bool bareName = !identifier.contains(u'/')
                          && std::none_of(identifier.cbegin(), identifier.cend(),
                                          [](QChar c) { return c.isDigit(); });
    if (bareName && !hasZoneFile(identifier) && !QTimeZone::isTimeZoneIdAvailable(id))
        return std::nullopt;
    return zone;
}

} // namespace

QString identifierFromConfig(const std::optional<Models::RemoteConfig> &config)
{
    if (config && config->appTimezone) {
        const QString trimmed = config->appTimezone->trimmed();
        if (validZone(trimmed))
            return trimmed;
    }
    return systemIdentifier();
}

void storeFromConfig(const std::optional<Models::RemoteConfig> &config)
{
    Storage::Preferences::instance().setValue(Storage::PreferenceKeys::apiTimezoneIdentifier,
                                              identifierFromConfig(config));
}

void restoreFromCachedConfig()
{
    QFile file(Platform::Paths::configFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    // A cache that no longer decodes is ignored, like a missing one.
    if (const auto config = Models::decodeStoredObject<Models::RemoteConfig>(file.readAll()))
        storeFromConfig(config);
}

QString identifier()
{
    const QString stored = Storage::Preferences::instance()
                                   .value(Storage::PreferenceKeys::apiTimezoneIdentifier, QString())
                                   .toString();
    return stored.isEmpty() ? systemIdentifier() : stored;
}

QTimeZone zone()
{
    if (const std::optional<QTimeZone> named = validZone(identifier()))
        return *named;
    return QTimeZone::systemTimeZone();
}

QTimeZone fromIdentifier(const std::optional<QString> &identifier)
{
    if (identifier) {
        if (const std::optional<QTimeZone> zone = validZone(identifier->trimmed()))
            return *zone;
    }
    return QTimeZone::systemTimeZone();
}

void clear()
{
    Storage::Preferences::instance().remove(Storage::PreferenceKeys::apiTimezoneIdentifier);
}

} // namespace Services::ApiTimezone
