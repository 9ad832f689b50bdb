#include "ui/main/ApiErrorMessage.h"

#include "networking/APIError.h"

namespace UI {

QString apiErrorMessage(const Networking::APIError &error)
{
    using Kind = Networking::APIError::Kind;
    switch (error.kind) {
    case Kind::InvalidUrl:
        return QStringLiteral("Invalid request.");
    case Kind::Unauthorized:
        return QStringLiteral("Session expired. Please sign in again.");
    case Kind::Server:
        return QStringLiteral("Server error (%1).").arg(error.httpStatus.value_or(0));
    case Kind::Decoding:
        return QStringLiteral("Failed to read data.");
    case Kind::Network:
        return QStringLiteral("No internet connection.");
    case Kind::RefreshDeferred:
        return QStringLiteral("Refreshing your session. Please try again.");
    case Kind::InsecureEndpoint:
        return QStringLiteral("The company's server address is not secure.");
    }
    return QStringLiteral("Something went wrong.");
}

} // namespace UI
