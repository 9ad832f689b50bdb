#include "services/server/PasswordChangedButSignInFailed.h"

namespace Services {

PasswordChangedButSignInFailed::PasswordChangedButSignInFailed()
    : std::runtime_error("password changed, sign-in failed")
{
}

} // namespace Services
