#include "storage/ApiTimezone.h"

#include "models/JsonDecodingError.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"

#include <algorithm>

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>

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
bool namesValidZone(const QString &identifier)
{
    if (identifier.isEmpty() || !QTimeZone(identifier.toUtf8()).isValid())
        return false;
    const bool bareName = !identifier.contains(u'/')
                          && std::none_of(identifier.cbegin(), identifier.cend(),
                                          [](QChar c) { return c.isDigit(); });
    return !bareName || hasZoneFile(identifier)
           || QTimeZone::isTimeZoneIdAvailable(identifier.toUtf8());
}

} // namespace

QString identifierFromConfig(const std::optional<Models::RemoteConfig> &config)
{
    if (config && config->appTimezone) {
        const QString trimmed = config->appTimezone->trimmed();
        if (namesValidZone(trimmed))
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
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return;
    std::optional<Models::RemoteConfig> config;
    try {
        config = Models::RemoteConfig::fromJson(document.object());
    } catch (const Models::JsonDecodingError &) {
        return; // A cache that no longer decodes is ignored, like a missing one.
    }
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
    const QString named = identifier();
    return namesValidZone(named) ? QTimeZone(named.toUtf8()) : QTimeZone::systemTimeZone();
}

QTimeZone fromIdentifier(const std::optional<QString> &identifier)
{
    if (identifier) {
        const QString trimmed = identifier->trimmed();
        if (namesValidZone(trimmed))
            return QTimeZone(trimmed.toUtf8());
    }
    return QTimeZone::systemTimeZone();
}

void clear()
{
    Storage::Preferences::instance().remove(Storage::PreferenceKeys::apiTimezoneIdentifier);
}

} // namespace Services::ApiTimezone
