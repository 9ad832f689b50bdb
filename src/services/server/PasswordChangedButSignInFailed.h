#pragma once

#include <stdexcept>

namespace Services {

// The password reset went through, but the sign-in with the new password that followed did not:
// the user should sign in again by hand.
class PasswordChangedButSignInFailed : public std::runtime_error
{
public:
    PasswordChangedButSignInFailed();
};

} // namespace Services
