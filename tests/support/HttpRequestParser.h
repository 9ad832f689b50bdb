#pragma once

#include "RecordedRequest.h"

#include <QByteArray>
#include <QList>

namespace TestSupport {

// One HTTP/1.1 request as read off the wire, before the stand-in interprets it.
struct ParsedHttpRequest
{
    QByteArray method;
    QByteArray target;
    QByteArray version; // "HTTP/1.1"
    HttpHeaderList headers;
    QByteArray body;

    QByteArray header(const QByteArray &name) const;
    // HTTP/1.1 keeps the connection unless the client says "close"; HTTP/1.0 only on "keep-alive".
    bool keepAlive() const;
};

// Reads requests out of a connection's byte stream. Bodies must come with Content-Length: the
// client under test never sends chunked requests, and the stand-in refuses them rather than guess.
class HttpRequestParser final
{
public:
    enum class Status { NeedMore, Complete, Invalid };

    struct Result
    {
        Status status = Status::NeedMore;
        bool expectsContinue = false; // NeedMore: the headers asked for "100 Continue"
        ParsedHttpRequest request;    // when Complete
        int errorStatus = 0;          // when Invalid: 400, 413, 431 or 501
        QByteArray errorText;
    };

    static constexpr qsizetype MaxHeaderBytes = 64 * 1024;
    static constexpr qsizetype MaxBodyBytes = 64 * 1024 * 1024;

    // Takes the first complete request off the front of `buffer`; leaves the buffer untouched
    // while the request is incomplete.
    static Result takeRequest(QByteArray &buffer);

    // The parts of a multipart/form-data body; `contentType` is the request's Content-Type
    // header, which carries the boundary. Empty when the type is not multipart or has no boundary.
    static QList<MultipartPart> parseMultipart(const QByteArray &body,
                                               const QByteArray &contentType);

    // The request as the log keeps it: decoded path split at "/api/v1/", query, route, parsed
    // JSON and parts, bearer token. The order is left to the backend.
    static RecordedRequest record(const ParsedHttpRequest &request, int connectionId);
};

} // namespace TestSupport
