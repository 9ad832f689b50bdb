#pragma once

namespace Networking {

// The HTTP client's hook for a 401 answer: renew the stored tokens so the request can be sent
// once more. Called on the thread that made the request, inside the request.
class ITokenRefresher
{
public:
    enum class Result : int {
        // A fresh token record is stored; the request may be repeated once.
        Refreshed = 0,
        Failed = 1,
        // No outcome for this thread: another refresh is in flight and this thread may not, or
        // did in vain, wait for it.
        Deferred = 2,
    };

    virtual ~ITokenRefresher() = default;
    virtual Result refreshTokens() = 0;

protected:
    ITokenRefresher() = default;
    ITokenRefresher(const ITokenRefresher &) = default;
    ITokenRefresher &operator=(const ITokenRefresher &) = default;
};

} // namespace Networking
