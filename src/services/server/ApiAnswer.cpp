#include "services/server/ApiAnswer.h"

#include "networking/APIError.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

using namespace Qt::StringLiterals;

namespace Services::ApiAnswer {

QJsonObject rootObject(const QByteArray &body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw Networking::APIError::decodingFailed({});
    return document.object();
}

QJsonObject dataObject(const QByteArray &body)
{
    const QJsonValue data = rootObject(body).value("data"_L1);
    if (!data.isObject())
        throw Networking::APIError::decodingFailed({});
    return data.toObject();
}

} // namespace Services::ApiAnswer
