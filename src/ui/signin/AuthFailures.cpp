#include "ui/signin/AuthFailures.h"

using namespace Qt::StringLiterals;
using Networking::APIError;

namespace Core::AuthFailures {

const QString networkText = u"Can't reach the server. Check your internet connection."_s;
const QString unexpectedResponseText
        = u"The server sent an unexpected response. Please try again."_s;
const QString insecureEndpointText
        = u"The company's server address is not secure, so sign-in was stopped. Please contact "
          u"your administrator."_s;

namespace {

// A status of 0 means the same as none: the request never got an HTTP answer.
bool hasNoStatus(const APIError &error)
{
    return !error.httpStatus.has_value() || *error.httpStatus == 0;
}

int statusOf(const APIError &error)
{
    return error.httpStatus.value_or(0);
}

// The server's own message when it has one and it is not empty; used unchanged, not trimmed.
QString serverMessageOr(const APIError &error, const QString &fallback)
{
    if (error.serverMessage.has_value() && !error.serverMessage->isEmpty())
        return *error.serverMessage;
    return fallback;
}

QString withStatus(const QString &text, const APIError &error)
{
    return text.arg(statusOf(error));
}

} // namespace

Failure<SendCodeKind> forSendCode(const APIError &error)
{
    if (error.kind == APIError::Kind::Network)
        return { SendCodeKind::Network, networkText };
    if (hasNoStatus(error))
        return { SendCodeKind::BadResponse, unexpectedResponseText };
    const int status = statusOf(error);
    if (status == 400 || status == 422)
        return { SendCodeKind::EmailNotFound,
                 serverMessageOr(error, u"We couldn't find that email address."_s) };
    if (status == 429)
        return { SendCodeKind::RateLimited,
                 serverMessageOr(error,
                                 u"Too many requests. Please wait a minute and try again."_s) };
    return { SendCodeKind::Http,
             withStatus(u"Couldn't send the code (HTTP %1). Please try again."_s, error) };
}

Failure<TwoFactorKind> forTwoFactor(const APIError &error)
{
    if (error.kind == APIError::Kind::InsecureEndpoint)
        return { TwoFactorKind::Unrecognized, insecureEndpointText };
    if (error.kind == APIError::Kind::Decoding)
        return { TwoFactorKind::Unrecognized,
                 u"Unrecognized server response. Please try again."_s };
    if (error.kind == APIError::Kind::Network)
        return { TwoFactorKind::Network, networkText };
    if (error.kind == APIError::Kind::Unauthorized)
        return { TwoFactorKind::NotAllowed,
                 serverMessageOr(error,
                                 u"This account can't be verified from the desktop app."_s) };
    // Without an HTTP answer there is no status worth showing.
    if (hasNoStatus(error))
        return { TwoFactorKind::Http, unexpectedResponseText };
    const int status = statusOf(error);
    if (status == 400 || status == 422)
        return { TwoFactorKind::InvalidCode,
                 serverMessageOr(error,
                                 u"That code didn't work. Check your authenticator app and try "
                                 u"again."_s) };
    if (status == 429)
        return { TwoFactorKind::RateLimited,
                 serverMessageOr(
                         error, u"Too many attempts. Please wait a few minutes and try again."_s) };
    return { TwoFactorKind::Http,
             withStatus(u"The server rejected the request (HTTP %1)."_s, error) };
}

Failure<CodeCheckKind> forCodeCheck(const APIError &error)
{
    if (error.kind == APIError::Kind::Network)
        return { CodeCheckKind::Network, networkText };
    if (hasNoStatus(error))
        return { CodeCheckKind::BadResponse, unexpectedResponseText };
    const int status = statusOf(error);
    if (status == 404)
        return { CodeCheckKind::WrongCode,
                 u"That code isn't right. Check your email and try again."_s };
    if (status == 429)
        return { CodeCheckKind::RateLimited,
                 serverMessageOr(error,
                                 u"Too many attempts. Please wait a minute and try again."_s) };
    return { CodeCheckKind::Http,
             withStatus(u"Couldn't check the code (HTTP %1). Please try again."_s, error) };
}

Failure<ResetSubmitKind> forResetSubmit(const APIError &error)
{
    if (error.kind == APIError::Kind::Network)
        return { ResetSubmitKind::Network, networkText };
    if (hasNoStatus(error))
        return { ResetSubmitKind::BadResponse, unexpectedResponseText };
    const int status = statusOf(error);
    if (status == 400 || status == 404 || status == 422) {
        const bool hasMessage = error.serverMessage.has_value() && !error.serverMessage->isEmpty();
        if (hasMessage && mentionsInvalidToken(*error.serverMessage))
            return { ResetSubmitKind::CodeInvalid,
                     u"That code is no longer valid. Use Resend to get a new one."_s };
        return { ResetSubmitKind::PasswordRejected,
                 serverMessageOr(error, u"That password was rejected. Please choose another."_s) };
    }
    if (status == 429)
        return { ResetSubmitKind::RateLimited,
                 serverMessageOr(error,
                                 u"Too many attempts. Please wait a minute and try again."_s) };
    return { ResetSubmitKind::Http,
             withStatus(u"Couldn't set the password (HTTP %1). Please try again."_s, error) };
}

bool mentionsInvalidToken(const QString &text)
{
    const QString lower = text.toLower();
    return lower.contains(u"token"_s) && lower.contains(u"invalid"_s);
}

QString twoFactorRejectedText(const std::optional<QString> &message)
{
    if (message.has_value()) {
        const QString trimmed = message->trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return u"That code didn't work. Check your authenticator app and try again."_s;
}

QString codeExpiredText()
{
    return u"That code has expired. Use Resend to get a new one."_s;
}

QString passwordChangedText()
{
    return u"Your password was changed. Please sign in with your new password."_s;
}

} // namespace Core::AuthFailures
