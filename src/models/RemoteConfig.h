#pragma once

#include "models/Project.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace Models {

// The company's configuration for the signed-in employee. One JSON form serves the server's
// answer (the object under "data") and the cached file. The record holds the values as sent:
// defaults and lower bounds are applied by its users.
struct RemoteConfig
{
    QString deviceId;
    QList<Project> projects;
    int screenshotIntervalMinutes = 0;
    int idleMinutesThreshold = 0;
    bool discardIdleTime = false;
    std::optional<int> uploadBatchSize;
    // "stop" or "pause"; anything else, or none, means ask the user.
    std::optional<QString> idleAction;
    std::optional<QString> name;
    std::optional<QString> companyName;
    std::optional<QString> latestClientVersionLinux;
    std::optional<QString> clientDownloadUrlLinux;
    // IANA identifier of the company time zone.
    std::optional<QString> appTimezone;
    std::optional<int> todayTotalSeconds;
    std::optional<QString> todayDate;

    // Absent optional fields leave their keys out, never null.
    QJsonObject toJson() const;
    static RemoteConfig fromJson(const QJsonObject &object);

    friend bool operator==(const RemoteConfig &, const RemoteConfig &) = default;
};

} // namespace Models
