#pragma once

#include <QByteArray>
#include <QJsonObject>

// Reading the service's JSON answers. Both throw Networking::APIError of kind Decoding with the
// message "Decoding failed" (the parser's own text is dropped) when the answer is not usable.
namespace Services::ApiAnswer {

// The answer as one JSON object.
QJsonObject rootObject(const QByteArray &body);
// The object under the answer's "data".
QJsonObject dataObject(const QByteArray &body);

} // namespace Services::ApiAnswer
