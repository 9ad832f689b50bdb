#include "HttpRequestParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

HttpRequestParser::Result invalid(int status, const QByteArray &text)
{
    HttpRequestParser::Result result;
    result.status = HttpRequestParser::Status::Invalid;
    result.errorStatus = status;
    result.errorText = text;
    return result;
}

HttpHeaderList parseHeaderLines(const QList<QByteArray> &lines)
{
    HttpHeaderList headers;
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        headers.append({ line.left(colon).trimmed(), line.mid(colon + 1).trimmed() });
    }
    return headers;
}

// The value of `name="..."` (or unquoted) inside a header such as Content-Disposition.
QByteArray headerParameter(const QByteArray &header, const QByteArray &name)
{
    for (const QByteArray &piece : header.split(';')) {
        const QByteArray trimmed = piece.trimmed();
        const qsizetype equals = trimmed.indexOf('=');
        if (equals <= 0 || trimmed.left(equals).trimmed().toLower() != name)
            continue;
        QByteArray value = trimmed.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

QByteArray headerValue(const HttpHeaderList &headers, const QByteArray &name)
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

MultipartPart parsePart(const QByteArray &chunk)
{
    MultipartPart part;
    const qsizetype end = chunk.indexOf("\r\n\r\n");
    if (end < 0) {
        part.data = chunk;
        return part;
    }
    part.headers = chunk.left(end);
    part.data = chunk.mid(end + 4);
    const HttpHeaderList headers = parseHeaderLines(part.headers.split('\n'));
    const QByteArray disposition = headerValue(headers, "Content-Disposition");
    part.name = QString::fromUtf8(headerParameter(disposition, "name"));
    part.fileName = QString::fromUtf8(headerParameter(disposition, "filename"));
    part.contentType = headerValue(headers, "Content-Type");
    return part;
}

} // namespace

QByteArray ParsedHttpRequest::header(const QByteArray &name) const
{
    return headerValue(headers, name);
}

bool ParsedHttpRequest::keepAlive() const
{
    const QByteArray connection = header("Connection").toLower();
    if (version == "HTTP/1.0")
        return connection.contains("keep-alive");
    return !connection.contains("close");
}

HttpRequestParser::Result HttpRequestParser::takeRequest(QByteArray &buffer)
{
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        return buffer.size() > MaxHeaderBytes ? invalid(431, "Request header fields too large")
                                              : Result{};
    }
    QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    for (QByteArray &line : lines)
        line = line.trimmed();
    const QList<QByteArray> requestLine = lines.takeFirst().split(' ');
    if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1."))
        return invalid(400, "Malformed request line");

    Result result;
    result.request.method = requestLine.at(0);
    result.request.target = requestLine.at(1);
    result.request.version = requestLine.at(2);
    result.request.headers = parseHeaderLines(lines);
    if (!result.request.header("Transfer-Encoding").isEmpty())
        return invalid(501, "Chunked request bodies are not supported");

    bool ok = true;
    const QByteArray lengthText = result.request.header("Content-Length");
    const qsizetype length = lengthText.isEmpty() ? 0 : lengthText.toLongLong(&ok);
    if (!ok || length < 0)
        return invalid(400, "Malformed Content-Length");
    if (length > MaxBodyBytes)
        return invalid(413, "Request body too large");
    const qsizetype total = headerEnd + 4 + length;
    if (buffer.size() < total) {
        Result waiting;
        waiting.expectsContinue
                = result.request.header("Expect").compare("100-continue", Qt::CaseInsensitive) == 0;
        return waiting;
    }

    result.request.body = buffer.mid(headerEnd + 4, length);
    buffer.remove(0, total);
    result.status = Status::Complete;
    return result;
}

QList<MultipartPart> HttpRequestParser::parseMultipart(const QByteArray &body,
                                                       const QByteArray &contentType)
{
    if (!contentType.trimmed().toLower().startsWith("multipart/"))
        return {};
    const QByteArray boundary = headerParameter(contentType, "boundary");
    if (boundary.isEmpty())
        return {};
    const QByteArray delimiter = "--" + boundary;
    QList<MultipartPart> parts;
    qsizetype position = body.indexOf(delimiter);
    while (position >= 0) {
        qsizetype start = position + delimiter.size();
        if (body.mid(start, 2) == "--")
            break; // the closing delimiter
        if (body.mid(start, 2) == "\r\n")
            start += 2;
        const qsizetype next = body.indexOf("\r\n" + delimiter, start);
        if (next < 0)
            break; // an unterminated part is not a part
        parts.append(parsePart(body.mid(start, next - start)));
        position = next + 2;
    }
    return parts;
}

RecordedRequest HttpRequestParser::record(const ParsedHttpRequest &request, int connectionId)
{
    RecordedRequest record;
    record.connectionId = connectionId;
    record.method = request.method;
    record.target = request.target;
    const QUrl url(QString::fromLatin1(request.target));
    record.path = url.path(QUrl::FullyDecoded);
    record.query = QUrlQuery(url);
    const QLatin1StringView apiRoot("/api/v1/");
    const qsizetype apiAt = record.path.indexOf(apiRoot);
    if (apiAt >= 0) {
        record.apiPrefix = record.path.left(apiAt);
        record.apiPath = record.path.mid(apiAt + apiRoot.size());
    }
    record.route
            = fakeHrRouteFor(request.method, apiAt >= 0 ? record.apiPath : record.path, apiAt >= 0);
    record.headers = request.headers;
    record.body = request.body;
    if (!request.body.isEmpty()) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(request.body, &error);
        if (error.error == QJsonParseError::NoError) {
            record.json = document.isObject() ? QJsonValue(document.object())
                                              : QJsonValue(document.array());
        }
    }
    record.parts = parseMultipart(request.body, request.header("Content-Type"));
    const QByteArray authorization = request.header("Authorization");
    if (authorization.left(7).compare("Bearer ", Qt::CaseInsensitive) == 0)
        record.bearerToken = QString::fromUtf8(authorization.mid(7).trimmed());
    return record;
}

} // namespace TestSupport
