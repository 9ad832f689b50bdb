#include "FakeHrRoute.h"

#include <QRegularExpression>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

constexpr std::array s_names{
    std::pair{ FakeHrRoute::Any, "any" },
    std::pair{ FakeHrRoute::SignIn, "singleLogin" },
    std::pair{ FakeHrRoute::TwoFactorVerify, "tfaVerify" },
    std::pair{ FakeHrRoute::GenerateOtp, "generateOtp" },
    std::pair{ FakeHrRoute::PasswordRecovery, "passwordRecovery" },
    std::pair{ FakeHrRoute::PasswordRecoveryCheck, "passwordRecoveryCheck" },
    std::pair{ FakeHrRoute::PasswordReset, "passwordReset" },
    std::pair{ FakeHrRoute::Refresh, "refresh" },
    std::pair{ FakeHrRoute::Logout, "logout" },
    std::pair{ FakeHrRoute::Configuration, "config" },
    std::pair{ FakeHrRoute::ScreenshotReport, "screenshotReport" },
    std::pair{ FakeHrRoute::SessionStart, "sessionStart" },
    std::pair{ FakeHrRoute::Heartbeat, "heartbeat" },
    std::pair{ FakeHrRoute::SegmentsBatch, "segmentsBatch" },
    std::pair{ FakeHrRoute::Screenshots, "screenshots" },
    std::pair{ FakeHrRoute::ScreenshotFile, "screenshotFile" },
    std::pair{ FakeHrRoute::Unknown, "unknown" },
};

struct FixedRoute
{
    const char *method;
    QLatin1StringView path;
    FakeHrRoute route;
};

const std::array s_fixedRoutes{
    FixedRoute{ "POST", "authentication/singleLogin"_L1, FakeHrRoute::SignIn },
    FixedRoute{ "POST", "tfa/verify"_L1, FakeHrRoute::TwoFactorVerify },
    FixedRoute{ "POST", "authentication/generateOtp"_L1, FakeHrRoute::GenerateOtp },
    FixedRoute{ "POST", "authentication/password/recovery"_L1, FakeHrRoute::PasswordRecovery },
    FixedRoute{ "POST", "authentication/password/recovery/reset"_L1, FakeHrRoute::PasswordReset },
    FixedRoute{ "POST", "authentication/refresh"_L1, FakeHrRoute::Refresh },
    FixedRoute{ "POST", "authentication/logout"_L1, FakeHrRoute::Logout },
    FixedRoute{ "GET", "hr/clockwarden/employees/config"_L1, FakeHrRoute::Configuration },
    FixedRoute{ "GET", "hr/clockwarden/reporting/screenshots/employees"_L1,
                FakeHrRoute::ScreenshotReport },
    FixedRoute{ "POST", "hr/clockwarden/employees/sessions/start"_L1, FakeHrRoute::SessionStart },
    FixedRoute{ "POST", "hr/clockwarden/employees/sessions/heartbeat"_L1, FakeHrRoute::Heartbeat },
    FixedRoute{ "POST", "hr/clockwarden/employees/segments/batch"_L1, FakeHrRoute::SegmentsBatch },
};

} // namespace

QString fakeHrRouteName(FakeHrRoute route)
{
    for (const auto &[value, name] : s_names) {
        if (value == route)
            return QString::fromLatin1(name);
    }
    return u"unknown"_s;
}

std::optional<FakeHrRoute> fakeHrRouteFromName(const QString &name)
{
    for (const auto &[value, text] : s_names) {
        if (name == QLatin1StringView(text))
            return value;
    }
    return std::nullopt;
}

bool fakeHrRouteIsAuthenticated(FakeHrRoute route)
{
    switch (route) {
    case FakeHrRoute::Logout:
    case FakeHrRoute::Configuration:
    case FakeHrRoute::ScreenshotReport:
    case FakeHrRoute::SessionStart:
    case FakeHrRoute::Heartbeat:
    case FakeHrRoute::SegmentsBatch:
    case FakeHrRoute::Screenshots:
        return true;
    default:
        return false;
    }
}

FakeHrRoute fakeHrRouteFor(const QByteArray &method, const QString &apiPath, bool underApi)
{
    if (!underApi) {
        return method == "GET" && apiPath.startsWith("/files/"_L1) ? FakeHrRoute::ScreenshotFile
                                                                   : FakeHrRoute::Unknown;
    }
    for (const FixedRoute &fixed : s_fixedRoutes) {
        if (method == fixed.method && apiPath == fixed.path)
            return fixed.route;
    }
    static const QRegularExpression recoveryCode(u"^authentication/password/recovery/[^/]+$"_s);
    if (method == "GET" && recoveryCode.match(apiPath).hasMatch())
        return FakeHrRoute::PasswordRecoveryCheck;
    static const QRegularExpression screenshots(
            u"^hr/clockwarden/employees/sessions/[^/]+/screenshots$"_s);
    if (method == "POST" && screenshots.match(apiPath).hasMatch())
        return FakeHrRoute::Screenshots;
    return FakeHrRoute::Unknown;
}

} // namespace TestSupport
