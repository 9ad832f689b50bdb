#include "RecordedRequest.h"

#include <QJsonArray>
#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

// Adds "<key>" as text when the bytes are valid UTF-8, else "<key>Base64".
void putBytes(QJsonObject &object, const QString &key, const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    if (decoder.hasError())
        object.insert(key + "Base64"_L1, QString::fromLatin1(bytes.toBase64()));
    else
        object.insert(key, text);
}

} // namespace

QByteArray RecordedRequest::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

bool RecordedRequest::hasHeader(const QByteArray &name) const
{
    for (const auto &entry : headers) {
        if (entry.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QList<QByteArray> RecordedRequest::headerNames() const
{
    QList<QByteArray> names;
    names.reserve(headers.size());
    for (const auto &entry : headers)
        names.append(entry.first.toLower());
    return names;
}

QJsonObject RecordedRequest::toJson() const
{
    QJsonArray headerArray;
    for (const auto &[key, value] : headers)
        headerArray.append(QJsonArray{ QString::fromLatin1(key), QString::fromLatin1(value) });
    QJsonArray partArray;
    for (const MultipartPart &part : parts) {
        QJsonObject object{ { u"name"_s, part.name },
                            { u"fileName"_s, part.fileName },
                            { u"contentType"_s, QString::fromLatin1(part.contentType) },
                            { u"size"_s, part.data.size() } };
        putBytes(object, u"data"_s, part.data);
        partArray.append(object);
    }
    QJsonObject object{ { u"order"_s, order },
                        { u"connectionId"_s, connectionId },
                        { u"method"_s, QString::fromLatin1(method) },
                        { u"path"_s, path },
                        { u"apiPath"_s, apiPath },
                        { u"apiPrefix"_s, apiPrefix },
                        { u"query"_s, query.toString(QUrl::FullyDecoded) },
                        { u"route"_s, fakeHrRouteName(route) },
                        { u"headers"_s, headerArray },
                        { u"parts"_s, partArray },
                        { u"bearerToken"_s, bearerToken } };
    putBytes(object, u"body"_s, body);
    if (!json.isUndefined())
        object.insert(u"json"_s, json);
    return object;
}

} // namespace TestSupport
