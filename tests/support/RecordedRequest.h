#pragma once

#include "FakeHrRoute.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrlQuery>

namespace TestSupport {

// One part of a multipart/form-data body.
struct MultipartPart
{
    QString name;
    QString fileName; // empty when the part names no file
    QByteArray contentType;
    QByteArray headers; // the part's header block as received
    QByteArray data;
};

using HttpHeaderList = QList<QPair<QByteArray, QByteArray>>;

// One request as the stand-in received it. Plain value; tests get copies.
struct RecordedRequest
{
    int order = 0;        // 1-based arrival order across all connections
    int connectionId = 0; // 1-based; a new id means the client opened a new connection
    QByteArray method;
    QByteArray target; // the request target as sent ("/api/v1/...?date=...")
    QString path;      // the decoded path, without the query
    QString apiPath;   // the path after the first "/api/v1/", empty outside the API
    QString apiPrefix; // the path up to that "/api/v1/" ("" or "/acme", a company's base)
    QUrlQuery query;
    FakeHrRoute route = FakeHrRoute::Unknown;
    HttpHeaderList headers; // in the order they were sent, names as spelt by the client
    QByteArray body;
    QJsonValue json;            // the parsed body; Undefined when it is no JSON document
    QList<MultipartPart> parts; // the parsed parts of a multipart/form-data body
    QString bearerToken;        // from "Authorization: Bearer ...", empty when absent

    // The first header of that name (case-insensitive), empty when absent.
    QByteArray header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const;
    // The header names in order, lower-cased, for order checks.
    QList<QByteArray> headerNames() const;
    QJsonObject jsonObject() const { return json.toObject(); }

    // The record as JSON, for the control interface: body as text when it is UTF-8, else Base64.
    QJsonObject toJson() const;
};

} // namespace TestSupport
