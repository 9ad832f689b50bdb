#include "storage/ApiTimezone.h"

#include "models/JsonDecodingError.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace Services::ApiTimezone {

namespace {

QString systemIdentifier()
{
    return QString::fromLatin1(QTimeZone::systemTimeZoneId());
}

bool namesValidZone(const QString &identifier)
{
    return !identifier.isEmpty() && QTimeZone(identifier.toUtf8()).isValid();
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
    const QTimeZone named(identifier().toUtf8());
    return named.isValid() ? named : QTimeZone::systemTimeZone();
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
