#pragma once

#include "models/SingleLoginCompanySelection.h"
#include "models/SingleLoginDirectConfig.h"
#include "models/SingleLoginOtpRequired.h"
#include "models/SingleLoginTwoFactorRequired.h"

#include <variant>

namespace Models {

// What a sign-in step leads to. The index order is fixed: 0 e-mail code needed, 1 company
// selection, 2 signed in directly, 3 second factor needed.
using SingleLoginResult = std::variant<SingleLoginOtpRequired, SingleLoginCompanySelection,
                                       SingleLoginDirectConfig, SingleLoginTwoFactorRequired>;

} // namespace Models
