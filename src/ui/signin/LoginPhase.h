#pragma once

#include <QMetaType>

namespace Core {

// The page the sign-in view shows.
enum class LoginPhase : int {
    Login = 0,
    Forgot = 1,
    ResetPassword = 2,
    Otp = 3,
    TwoFactor = 4,
    CompanySelection = 5,
};

} // namespace Core

Q_DECLARE_METATYPE(Core::LoginPhase)
