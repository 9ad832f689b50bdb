#pragma once

#include "models/JsonDecodingError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLatin1StringView>
#include <QString>

#include <optional>

// Typed field readers shared by every decoder. Optional readers treat a missing key, null and a
// value of another kind alike as absent and never throw; required readers throw
// Models::JsonDecodingError naming the key. Numbers read as int follow Qt's conversion with the
// default 0: anything that is not a whole number within the int range reads as 0.
namespace Models {

[[noreturn]] void throwMissingField(QLatin1StringView key);
[[noreturn]] void throwWrongType(QLatin1StringView key, QLatin1StringView expected);

std::optional<QString> optionalString(const QJsonObject &object, QLatin1StringView key);
std::optional<int> optionalInt(const QJsonObject &object, QLatin1StringView key);
std::optional<double> optionalDouble(const QJsonObject &object, QLatin1StringView key);
std::optional<bool> optionalBool(const QJsonObject &object, QLatin1StringView key);
std::optional<QJsonObject> optionalObject(const QJsonObject &object, QLatin1StringView key);
std::optional<QJsonArray> optionalArray(const QJsonObject &object, QLatin1StringView key);
// Lenient yes/no reader for answers the server sends in varying forms.
std::optional<bool> optionalFlag(const QJsonObject &object, QLatin1StringView key);

QString requireString(const QJsonObject &object, QLatin1StringView key);
int requireInt(const QJsonObject &object, QLatin1StringView key);
double requireDouble(const QJsonObject &object, QLatin1StringView key);
bool requireBool(const QJsonObject &object, QLatin1StringView key);
QJsonObject requireObject(const QJsonObject &object, QLatin1StringView key);
QJsonArray requireArray(const QJsonObject &object, QLatin1StringView key);

// Decodes the object elements of an array in order with Record::fromJson; elements of other
// kinds are skipped, and an element that fails to decode fails the whole list.
template<typename Record>
QList<Record> decodeObjectList(const QJsonArray &array)
{
    QList<Record> records;
    records.reserve(array.size());
    for (const QJsonValue &element : array) {
        if (element.isObject())
            records.append(Record::fromJson(element.toObject()));
    }
    return records;
}

// Parses bytes as one JSON object and decodes it with Record::fromJson. For stored records, where
// one that no longer parses or decodes counts as absent: none in both cases.
template<typename Record>
std::optional<Record> decodeStoredObject(const QByteArray &bytes)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    try {
        return Record::fromJson(document.object());
    } catch (const JsonDecodingError &) {
        return std::nullopt;
    }
}

} // namespace Models
