#include "models/JsonReaders.h"

#include "models/JsonDecodingError.h"

#include <cmath>

namespace Models {

namespace {

// Presence first, then the value: a key holding null must be told apart from a missing key.
std::optional<QJsonValue> lookUp(const QJsonObject &object, QLatin1StringView key)
{
    if (!object.contains(key))
        return std::nullopt;
    return object.value(key);
}

QJsonValue requireValue(const QJsonObject &object, QLatin1StringView key, QJsonValue::Type type,
                        QLatin1StringView word)
{
    const std::optional<QJsonValue> value = lookUp(object, key);
    if (!value)
        throwMissingField(key);
    if (value->type() != type)
        throwWrongType(key, word);
    return *value;
}

std::optional<QJsonValue> optionalValue(const QJsonObject &object, QLatin1StringView key,
                                        QJsonValue::Type type)
{
    std::optional<QJsonValue> value = lookUp(object, key);
    if (!value || value->type() != type)
        return std::nullopt;
    return value;
}

} // namespace

void throwMissingField(QLatin1StringView key)
{
    throw JsonDecodingError(QStringLiteral("Missing required field: %1").arg(key));
}

void throwWrongType(QLatin1StringView key, QLatin1StringView expected)
{
    throw JsonDecodingError(
            QStringLiteral("Field '%1' has wrong type, expected %2").arg(key, expected));
}

std::optional<QString> optionalString(const QJsonObject &object, QLatin1StringView key)
{
    if (const auto value = optionalValue(object, key, QJsonValue::String))
        return value->toString();
    return std::nullopt;
}

std::optional<int> optionalInt(const QJsonObject &object, QLatin1StringView key)
{
    if (const auto value = optionalValue(object, key, QJsonValue::Double))
        return value->toInt();
    return std::nullopt;
}

std::optional<double> optionalDouble(const QJsonObject &object, QLatin1StringView key)
{
    if (const auto value = optionalValue(object, key, QJsonValue::Double))
        return value->toDouble();
    return std::nullopt;
}

std::optional<bool> optionalBool(const QJsonObject &object, QLatin1StringView key)
{
    if (const auto value = optionalValue(object, key, QJsonValue::Bool))
        return value->toBool();
    return std::nullopt;
}

std::optional<QJsonObject> optionalObject(const QJsonObject &object, QLatin1StringView key)
{
    if (const auto value = optionalValue(object, key, QJsonValue::Object))
        return value->toObject();
    return std::nullopt;
}

std::optional<QJsonArray> optionalArray(const QJsonObject &object, QLatin1StringView key)
{
    if (const auto value = optionalValue(object, key, QJsonValue::Array))
        return value->toArray();
    return std::nullopt;
}

std::optional<bool> optionalFlag(const QJsonObject &object, QLatin1StringView key)
{
    const std::optional<QJsonValue> value = lookUp(object, key);
    if (!value)
        return std::nullopt;
    switch (value->type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return std::nullopt;
    case QJsonValue::Bool:
        return value->toBool();
    case QJsonValue::Double: {
        const double number = value->toDouble();
        return std::isnan(number) || number != 0.0;
    }
    case QJsonValue::String: {
        const QString text = value->toString().trimmed().toLower();
        return text == u"1" || text == u"true";
    }
    case QJsonValue::Array:
    case QJsonValue::Object:
        return false;
    }
    return std::nullopt;
}

QString requireString(const QJsonObject &object, QLatin1StringView key)
{
    return requireValue(object, key, QJsonValue::String, QLatin1StringView("string")).toString();
}

int requireInt(const QJsonObject &object, QLatin1StringView key)
{
    return requireValue(object, key, QJsonValue::Double, QLatin1StringView("int")).toInt();
}

double requireDouble(const QJsonObject &object, QLatin1StringView key)
{
    return requireValue(object, key, QJsonValue::Double, QLatin1StringView("double")).toDouble();
}

bool requireBool(const QJsonObject &object, QLatin1StringView key)
{
    return requireValue(object, key, QJsonValue::Bool, QLatin1StringView("bool")).toBool();
}

QJsonObject requireObject(const QJsonObject &object, QLatin1StringView key)
{
    return requireValue(object, key, QJsonValue::Object, QLatin1StringView("object")).toObject();
}

QJsonArray requireArray(const QJsonObject &object, QLatin1StringView key)
{
    return requireValue(object, key, QJsonValue::Array, QLatin1StringView("array")).toArray();
}

} // namespace Models
