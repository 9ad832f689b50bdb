#pragma once

#include "networking/APIError.h"

#include <QString>

#include <optional>

// Turns the failures of the recovery and two-factor requests into one sentence for the user and
// a kind the sign-in steps act on. Pure functions; any thread.
namespace Core::AuthFailures {

enum class SendCodeKind : int {
    EmailNotFound = 0,
    RateLimited = 1,
    BadResponse = 2,
    Network = 3,
    Http = 4,
};

enum class TwoFactorKind : int {
    InvalidCode = 0,
    RateLimited = 1,
    NotAllowed = 2,
    Unrecognized = 3,
    Network = 4,
    Http = 5,
};

enum class CodeCheckKind : int {
    WrongCode = 1,
    RateLimited = 2,
    BadResponse = 3,
    Network = 4,
    Http = 5,
};

enum class ResetSubmitKind : int {
    CodeInvalid = 0,
    PasswordRejected = 1,
    RateLimited = 2,
    PasswordChangedSignInFailed = 3,
    BadResponse = 4,
    Network = 5,
    Http = 6,
};

template<typename Kind>
struct Failure
{
    Kind kind;
    QString message;

    friend bool operator==(const Failure &, const Failure &) = default;
};

extern const QString networkText;
extern const QString unexpectedResponseText;
// A sign-in answer pointed at a company address without https; nothing was stored.
extern const QString insecureEndpointText;

Failure<SendCodeKind> forSendCode(const Networking::APIError &error);
Failure<TwoFactorKind> forTwoFactor(const Networking::APIError &error);
Failure<CodeCheckKind> forCodeCheck(const Networking::APIError &error);
Failure<ResetSubmitKind> forResetSubmit(const Networking::APIError &error);

// True when the text holds both "token" and "invalid", in any letter case and order.
bool mentionsInvalidToken(const QString &text);
// The trimmed message of a repeated two-factor demand, or the fixed text when it has none.
QString twoFactorRejectedText(const std::optional<QString> &message);
QString codeExpiredText();
QString passwordChangedText();

} // namespace Core::AuthFailures
