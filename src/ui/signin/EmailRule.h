#pragma once

#include <QString>

namespace UI {

// The sign-in screens' test of an e-mail address, applied to the trimmed text: letters, digits
// and ._%+- before the "@", a dotted domain ending in at least two letters; any letter case.
bool isValidSignInEmail(const QString &email);

} // namespace UI
