#pragma once

#include <QString>

#include <optional>

namespace Networking {

// The one failure of every server call. Returned inside an APIResponse by the HTTP client and
// thrown by value by the services; deliberately not a std::exception.
struct APIError
{
    enum class Kind : int {
        InvalidUrl = 0,
        Unauthorized = 1,
        Server = 2,
        Decoding = 3,
        Network = 4,
        RefreshDeferred = 5,
        // A company address received over https that would move the sign-in to plain http.
        InsecureEndpoint = 6,
    };

    Kind kind = Kind::Network;
    std::optional<int> httpStatus;
    QString message;
    // The service's own "message" text, for Unauthorized and Server errors.
    std::optional<QString> serverMessage;
    // QNetworkReply::NetworkError of a Network error.
    std::optional<int> networkError;

    static APIError invalidUrl();
    static APIError unauthorized();
    static APIError serverError(int status);
    static APIError decodingFailed(const QString &text);
    static APIError networkFailure(const QString &text);
    static APIError refreshDeferred();
    static APIError insecureEndpoint();

    friend bool operator==(const APIError &, const APIError &) = default;
};

} // namespace Networking
