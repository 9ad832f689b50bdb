#pragma once

#include <QDateTime>
#include <QString>

// The one form local records use for times: UTC, ISO 8601 with milliseconds and "Z".
namespace Models {

QString toIsoUtcMilliseconds(const QDateTime &time);
// Reads the form above (any ISO 8601 offset is accepted); an unparsable text gives an invalid time.
QDateTime fromIsoUtcMilliseconds(const QString &text);

} // namespace Models
