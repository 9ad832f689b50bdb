#pragma once

#include "networking/APIError.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace Networking {

// What one request of the HTTP client gives back; an absent error means success. The client
// never throws for a failed request: the calling service throws or classifies the error.
struct APIResponse
{
    QByteArray body;
    int statusCode = 0;
    std::optional<APIError> error;
};

// One exchange with the server, as the network library ended it.
struct RawReply
{
    // 0 when no HTTP answer arrived.
    int statusCode = 0;
    QByteArray body;
    // QNetworkReply::NetworkError; 0 is none.
    int networkError = 0;
    QString errorString;
    bool timedOut = false;
    // Set when the reply was stopped on purpose: the status of a redirect to another origin,
    // or an answer beyond the size bound.
    int refusedRedirectStatus = 0;
    bool tooLarge = false;

    // A timeout or a gateway error leaves the thread's pooled connections suspect.
    bool shouldResetConnections() const;
    // Ends the exchange as the network access manager ends an aborted or timed-out request.
    void markCanceled(bool timedOutToo);
};

} // namespace Networking
