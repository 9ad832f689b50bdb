#pragma once

#include "models/AuthTokens.h"
#include "models/LoginUser.h"

#include <optional>

namespace Models {

// Sign-in outcome: signed in; the company endpoint, when the answer named one, is already stored.
struct SingleLoginDirectConfig
{
    // Already saved in the token store.
    AuthTokens tokens;
    std::optional<LoginUser> user;

    friend bool operator==(const SingleLoginDirectConfig &, const SingleLoginDirectConfig &)
            = default;
};

} // namespace Models
