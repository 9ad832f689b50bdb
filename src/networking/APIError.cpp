#include "networking/APIError.h"

using namespace Qt::StringLiterals;

namespace Networking {

APIError APIError::invalidUrl()
{
    return { Kind::InvalidUrl, std::nullopt, u"Invalid URL"_s, std::nullopt, std::nullopt };
}

APIError APIError::unauthorized()
{
    return { Kind::Unauthorized, 401, u"Unauthorized"_s, std::nullopt, std::nullopt };
}

APIError APIError::serverError(int status)
{
    return { Kind::Server, status, u"Server error %1"_s.arg(status), std::nullopt, std::nullopt };
}

APIError APIError::decodingFailed(const QString &text)
{
    return { Kind::Decoding, std::nullopt, text.isEmpty() ? u"Decoding failed"_s : text,
             std::nullopt, std::nullopt };
}

APIError APIError::networkFailure(const QString &text)
{
    return { Kind::Network, std::nullopt, text, std::nullopt, std::nullopt };
}

APIError APIError::refreshDeferred()
{
    return { Kind::RefreshDeferred, std::nullopt, u"Token refresh in flight; request deferred"_s,
             std::nullopt, std::nullopt };
}

APIError APIError::insecureEndpoint()
{
    return { Kind::InsecureEndpoint, std::nullopt,
             u"The company's server address is not secure (http)"_s, std::nullopt, std::nullopt };
}

} // namespace Networking
