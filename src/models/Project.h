#pragma once

#include <QJsonObject>
#include <QString>

namespace Models {

// A task the user may pick, from the remote configuration.
struct Project
{
    QString id;
    QString name;

    // Wire keys "project_id" and "project_name", both required strings.
    QJsonObject toJson() const;
    static Project fromJson(const QJsonObject &object);

    friend bool operator==(const Project &, const Project &) = default;
};

} // namespace Models
