#include "models/RemoteConfig.h"

#include "models/JsonReaders.h"

#include <QJsonArray>

namespace Models {

namespace {
constexpr QLatin1StringView deviceIdKey("device_id");
constexpr QLatin1StringView projectsKey("projects");
constexpr QLatin1StringView screenshotIntervalKey("screenshot_interval_minutes");
constexpr QLatin1StringView idleThresholdKey("idle_minutes_threshold");
constexpr QLatin1StringView discardIdleTimeKey("discard_idle_time");
constexpr QLatin1StringView uploadBatchSizeKey("upload_batch_size");
constexpr QLatin1StringView idleActionKey("idle_action");
constexpr QLatin1StringView nameKey("name");
constexpr QLatin1StringView companyNameKey("company_name");
constexpr QLatin1StringView latestVersionKey("latest_client_version_linux");
constexpr QLatin1StringView downloadUrlKey("client_download_url_linux");
constexpr QLatin1StringView appTimezoneKey("app_timezone");
constexpr QLatin1StringView todayTotalKey("today_total_seconds");
constexpr QLatin1StringView todayDateKey("today_date");

template<typename Value>
void insertPresent(QJsonObject &object, QLatin1StringView key, const std::optional<Value> &value)
{
    if (value)
        object.insert(key, *value);
}
} // namespace

QJsonObject RemoteConfig::toJson() const
{
    QJsonArray projectArray;
    for (const Project &project : projects)
        projectArray.append(project.toJson());

    QJsonObject object{
        { deviceIdKey, deviceId },
        { projectsKey, projectArray },
        { screenshotIntervalKey, screenshotIntervalMinutes },
        { idleThresholdKey, idleMinutesThreshold },
        { discardIdleTimeKey, discardIdleTime },
    };
    insertPresent(object, uploadBatchSizeKey, uploadBatchSize);
    insertPresent(object, idleActionKey, idleAction);
    insertPresent(object, nameKey, name);
    insertPresent(object, companyNameKey, companyName);
    insertPresent(object, latestVersionKey, latestClientVersionLinux);
    insertPresent(object, downloadUrlKey, clientDownloadUrlLinux);
    insertPresent(object, appTimezoneKey, appTimezone);
    insertPresent(object, todayTotalKey, todayTotalSeconds);
    insertPresent(object, todayDateKey, todayDate);
    return object;
}

RemoteConfig RemoteConfig::fromJson(const QJsonObject &object)
{
    RemoteConfig config;
    config.deviceId = requireString(object, deviceIdKey);
    config.projects = decodeObjectList<Project>(requireArray(object, projectsKey));
    config.screenshotIntervalMinutes = requireInt(object, screenshotIntervalKey);
    config.idleMinutesThreshold = requireInt(object, idleThresholdKey);
    config.discardIdleTime = requireBool(object, discardIdleTimeKey);
    config.uploadBatchSize = optionalInt(object, uploadBatchSizeKey);
    config.idleAction = optionalString(object, idleActionKey);
    config.name = optionalString(object, nameKey);
    config.companyName = optionalString(object, companyNameKey);
    config.latestClientVersionLinux = optionalString(object, latestVersionKey);
    config.clientDownloadUrlLinux = optionalString(object, downloadUrlKey);
    config.appTimezone = optionalString(object, appTimezoneKey);
    config.todayTotalSeconds = optionalInt(object, todayTotalKey);
    config.todayDate = optionalString(object, todayDateKey);
    return config;
}

} // namespace Models
