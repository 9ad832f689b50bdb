#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace TestSupport {

// The endpoints of the HR service's JSON API that the stand-in answers, plus the image files that
// its screenshot report points at. `Any` only selects: faults and barriers set on it match every
// route.
enum class FakeHrRoute {
    Any,
    SignIn,
    TwoFactorVerify,
    GenerateOtp,
    PasswordRecovery,
    PasswordRecoveryCheck,
    PasswordReset,
    Refresh,
    Logout,
    Configuration,
    ScreenshotReport,
    SessionStart,
    Heartbeat,
    SegmentsBatch,
    Screenshots,
    ScreenshotFile,
    Unknown,
};

// The name used by the control interface and in test output ("heartbeat", "refresh", ...).
QString fakeHrRouteName(FakeHrRoute route);
std::optional<FakeHrRoute> fakeHrRouteFromName(const QString &name);

// Whether the route checks the bearer token against the currently issued access token.
bool fakeHrRouteIsAuthenticated(FakeHrRoute route);

// The route of a request: `apiPath` is the decoded path after the first "/api/v1/", or the whole
// path for requests outside the API (the image files under "/files/").
FakeHrRoute fakeHrRouteFor(const QByteArray &method, const QString &apiPath, bool underApi);

// True when the route matches the selector (`Any` matches every route).
inline bool fakeHrRouteMatches(FakeHrRoute selector, FakeHrRoute route)
{
    return selector == FakeHrRoute::Any || selector == route;
}

} // namespace TestSupport
