#include "FakeHrAuthRoutes.h"

#include <QJsonArray>

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

using SignIn = FakeHrScenario::SignIn;

bool sameEmail(const FakeHrState &state, const QJsonObject &body)
{
    return body.value("email"_L1)
                   .toString()
                   .trimmed()
                   .compare(state.scenario.email, Qt::CaseInsensitive)
           == 0;
}

FakeHrAnswer invalidCredentials()
{
    return FakeHrAnswer::message(401, u"These credentials do not match our records."_s);
}

} // namespace

QJsonObject FakeHrAuthRoutes::user(const FakeHrState &state)
{
    return QJsonObject{ { u"email"_s, state.scenario.email },
                        { u"name"_s, state.scenario.userName } };
}

FakeHrAnswer FakeHrAuthRoutes::signedIn(FakeHrState &state, bool looseTokens)
{
    const FakeHrTokens tokens = state.issueTokens();
    QJsonObject data{ { u"user"_s, user(state) } };
    if (state.scenario.includeInit)
        data.insert(u"init"_s, QJsonObject{ { u"endpoint"_s, state.scenario.companyEndpoint } });
    if (looseTokens) {
        const QJsonObject loose = tokens.toJson();
        for (auto it = loose.begin(); it != loose.end(); ++it) {
            if (it.key() != "token_type"_L1)
                data.insert(it.key(), it.value());
        }
    } else {
        data.insert(u"data"_s, tokens.toJson());
    }
    return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
}

FakeHrAnswer FakeHrAuthRoutes::signIn(FakeHrState &state, const RecordedRequest &request)
{
    const QJsonObject body = request.jsonObject();
    if (const QString missing = FakeHrState::missingKey(body, { "email", "password" });
        !missing.isEmpty()) {
        return FakeHrAnswer::validation(missing, u"The %1 field is required."_s.arg(missing));
    }
    if (!sameEmail(state, body))
        return invalidCredentials();
    const QString secret = body.value("password"_L1).toString();
    const FakeHrScenario &scenario = state.scenario;
    if (body.value("is_otp"_L1).toInt() == 1) {
        if (secret != scenario.emailCode) {
            return FakeHrAnswer::validation(u"password"_s,
                                            u"The sign-in code is invalid or has expired."_s);
        }
        return signedIn(state, false);
    }
    if (secret != scenario.password)
        return invalidCredentials();

    switch (scenario.signIn) {
    case SignIn::DirectNested:
        return signedIn(state, false);
    case SignIn::DirectLoose:
        return signedIn(state, true);
    case SignIn::CompanySelection: {
        QJsonArray companies;
        for (const FakeHrScenario::Company &company : scenario.companies) {
            companies.append(QJsonObject{ { u"name"_s, company.name },
                                          { u"endpoint"_s, company.endpoint } });
        }
        const QJsonObject data{ { u"user"_s, user(state) },
                                { u"companies"_s, companies },
                                { u"data"_s, state.issueTokens().toJson() } };
        return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
    }
    case SignIn::EmailCode: {
        const QJsonObject data{ { u"otp_required"_s, 1 },
                                { u"user"_s, user(state) },
                                { u"message"_s, u"We sent a sign-in code to your e-mail."_s } };
        return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
    }
    case SignIn::TwoFactor: {
        const QJsonObject data{ { u"is_2fa_active"_s, true },
                                { u"pending_token"_s,
                                  u"pending-token-%1"_s.arg(++state.pendingTokenSerial) },
                                { u"message"_s, u"Enter the code from your authenticator app."_s },
                                { u"user"_s, user(state) } };
        return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
    }
    }
    return invalidCredentials();
}

FakeHrAnswer FakeHrAuthRoutes::verifyTwoFactor(FakeHrState &state, const RecordedRequest &request)
{
    const QJsonObject body = request.jsonObject();
    if (const QString missing = FakeHrState::missingKey(body, { "email", "code" });
        !missing.isEmpty()) {
        return FakeHrAnswer::validation(missing, u"The %1 field is required."_s.arg(missing));
    }
    if (!sameEmail(state, body))
        return invalidCredentials();
    const QString code = body.value("code"_L1).toString();
    if (code != state.scenario.twoFactorCode && code != state.scenario.twoFactorRecoveryCode)
        return FakeHrAnswer::validation(u"code"_s, u"The two-factor code is invalid."_s);
    if (state.scenario.twoFactorStillRequired) {
        const QJsonObject data{ { u"is_2fa_active"_s, true },
                                { u"pending_token"_s,
                                  u"pending-token-%1"_s.arg(++state.pendingTokenSerial) },
                                { u"message"_s, u"Another code is needed."_s },
                                { u"user"_s, user(state) } };
        return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
    }
    return signedIn(state, false);
}

FakeHrAnswer FakeHrAuthRoutes::generateOtp(FakeHrState &state, const RecordedRequest &request)
{
    const QJsonObject body = request.jsonObject();
    if (const QString missing = FakeHrState::missingKey(body, { "email" }); !missing.isEmpty())
        return FakeHrAnswer::validation(missing, u"The %1 field is required."_s.arg(missing));
    if (!sameEmail(state, body))
        return FakeHrAnswer::message(404, u"We can't find a user with that e-mail address."_s);
    return FakeHrAnswer::message(200, u"A new sign-in code is on its way."_s);
}

FakeHrAnswer FakeHrAuthRoutes::requestPasswordRecovery(FakeHrState &state,
                                                       const RecordedRequest &request)
{
    const QJsonObject body = request.jsonObject();
    if (const QString missing = FakeHrState::missingKey(body, { "email" }); !missing.isEmpty())
        return FakeHrAnswer::validation(missing, u"The %1 field is required."_s.arg(missing));
    if (!sameEmail(state, body))
        return FakeHrAnswer::message(404, u"We can't find a user with that e-mail address."_s);
    return FakeHrAnswer::message(200, u"We have e-mailed your password reset code."_s);
}

FakeHrAnswer FakeHrAuthRoutes::checkPasswordResetCode(FakeHrState &state,
                                                      const RecordedRequest &request)
{
    const QString code = request.apiPath.section(u'/', -1);
    if (code != state.scenario.passwordResetCode)
        return FakeHrAnswer::message(404, u"This password reset code is invalid."_s);
    const QJsonObject data{ { u"valid"_s, true }, { u"email"_s, state.scenario.email } };
    return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
}

FakeHrAnswer FakeHrAuthRoutes::resetPassword(FakeHrState &state, const RecordedRequest &request)
{
    const QJsonObject body = request.jsonObject();
    if (const QString missing = FakeHrState::missingKey(body, { "token", "password" });
        !missing.isEmpty()) {
        return FakeHrAnswer::validation(missing, u"The %1 field is required."_s.arg(missing));
    }
    if (body.value("token"_L1).toString() != state.scenario.passwordResetCode)
        return FakeHrAnswer::validation(u"token"_s, u"This password reset code is invalid."_s);
    const QString password = body.value("password"_L1).toString();
    if (password.size() < 8) {
        return FakeHrAnswer::validation(u"password"_s,
                                        u"The password must be at least 8 characters."_s);
    }
    state.scenario.password = password;
    return FakeHrAnswer::message(200, u"Your password has been reset."_s);
}

FakeHrAnswer FakeHrAuthRoutes::refresh(FakeHrState &state, const RecordedRequest &request)
{
    const QString presented = request.jsonObject().value("refresh_token"_L1).toString();
    if (!state.tokens || presented.isEmpty() || presented != state.tokens->refreshToken)
        return FakeHrAnswer::message(401, u"The refresh token is invalid or has expired."_s);
    const FakeHrTokens previous = *state.tokens;
    FakeHrTokens issued = state.issueTokens();
    QJsonObject tokens = issued.toJson();
    if (state.scenario.refreshOmitsRefreshToken) {
        // The client keeps its refresh token, so the service must keep honouring it.
        issued.refreshToken = previous.refreshToken;
        issued.refreshExpiresAt = previous.refreshExpiresAt;
        state.tokens = issued;
        tokens.remove("refresh_token"_L1);
        tokens.remove("refresh_expires_at"_L1);
    }
    const QJsonObject data
            = state.scenario.refreshNested ? QJsonObject{ { u"data"_s, tokens } } : tokens;
    return FakeHrAnswer::json(200, QJsonObject{ { u"data"_s, data } });
}

FakeHrAnswer FakeHrAuthRoutes::logout(FakeHrState &state, const RecordedRequest &)
{
    state.tokens.reset();
    return FakeHrAnswer::message(200, u"Signed out."_s);
}

} // namespace TestSupport
