#include "models/Project.h"

#include "models/JsonReaders.h"

namespace Models {

namespace {
constexpr QLatin1StringView idKey("project_id");
constexpr QLatin1StringView nameKey("project_name");
} // namespace

QJsonObject Project::toJson() const
{
    return QJsonObject{ { idKey, id }, { nameKey, name } };
}

Project Project::fromJson(const QJsonObject &object)
{
    Project project;
    project.id = requireString(object, idKey);
    project.name = requireString(object, nameKey);
    return project;
}

} // namespace Models
