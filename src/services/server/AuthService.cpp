#include "services/server/AuthService.h"

#include "models/GenerateOtpRequest.h"
#include "models/JsonDecodingError.h"
#include "models/ServerDateTime.h"
#include "models/TwoFactorVerifyRequest.h"
#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "services/server/ApiAnswer.h"
#include "services/server/AuthInput.h"
#include "services/server/AuthServiceInternals.h"
#include "storage/LastLoginStore.h"
#include "storage/Log.h"
#include "storage/LogRedaction.h"
#include "storage/TokenStore.h"

using namespace Qt::StringLiterals;
using namespace Services::AuthServiceInternals;

namespace Services {

namespace {

// The sign-in family sends neither the bearer token nor asks for a refresh.
Networking::APIResponse postSignIn(const QString &path, const QJsonObject &body)
{
    return Networking::APIClient::instance().postJson(path, body, false, false);
}

// Any answer that does not decode reads as "Decoding failed": the decoder's own text would only
// confuse the user.
Models::SingleLoginResponse decodeSignInAnswer(const QByteArray &body)
{
    const QJsonObject root = ApiAnswer::rootObject(body);
    try {
        return Models::SingleLoginResponse::fromEnvelope(root);
    } catch (const Models::JsonDecodingError &) {
        throw Networking::APIError::decodingFailed({});
    }
}

bool isDowngrade(const QString &endpoint, const QUrl &source)
{
    const std::optional<QUrl> url = Networking::ApiEndpoint::normalizeCompanyEndpoint(endpoint);
    return url && Networking::ApiEndpoint::isDowngrade(*url, source);
}

// A sign-in answer that came over https and points at a plain-http company address would send the
// tokens and everything after in clear text: it is refused before anything is stored.
void refuseInsecureEndpoints(const Models::SingleLoginResponse &response)
{
    const QUrl source = Networking::ApiEndpoint::baseUrl();
    bool insecure = response.init && isDowngrade(response.init->endpoint, source);
    if (response.companies) {
        for (const Models::LoginCompany &company : *response.companies)
            insecure = insecure || isDowngrade(company.endpoint, source);
    }
    if (!insecure)
        return;
    logAuth(Core::Log::Level::Warn,
            u"Login refused: the answer names a company address that is not https"_s);
    throw Networking::APIError::insecureEndpoint();
}

QString userEmailOf(const Models::SingleLoginResponse &response)
{
    return response.user ? response.user->email : QString();
}

} // namespace

AuthService &AuthService::instance()
{
    static AuthService service;
    return service;
}

void AuthService::setTokenStore(Storage::TokenStore *store)
{
    m_tokenStore = store;
}

std::optional<Models::AuthTokens> AuthService::currentTokens() const
{
    if (Storage::TokenStore *store = m_tokenStore.load())
        return store->load();
    return std::nullopt;
}

Models::SingleLoginResult AuthService::singleLogin(const QString &email, const QString &password)
{
    return m_signInFlight.run(SignInKey(email, password), [&] {
        return performSingleLogin(Models::LoginRequest(email, password, 1, 1, std::nullopt));
    });
}

Models::SingleLoginResult AuthService::signInWithOtp(const QString &email, const QString &code)
{
    return performSingleLogin(Models::LoginRequest(email, code, 1, 1, 1));
}

void AuthService::generateOtp(const QString &email)
{
    const Networking::APIResponse response
            = postSignIn(u"authentication/generateOtp"_s,
                         Models::GenerateOtpRequest(email, u"email"_s).toJson());
    if (response.error) {
        logAuth(Core::Log::Level::Error, u"Generate OTP failed: %1"_s.arg(Networking::redactForLog(
                                                 response.error->message)));
        throw *response.error;
    }
    logAuth(Core::Log::Level::Info, u"Generate OTP succeeded"_s);
}

Models::SingleLoginResult AuthService::verifyTwoFactor(const QString &email, const QString &code,
                                                       const std::optional<QString> &pendingToken)
{
    Models::TwoFactorVerifyRequest request;
    request.email = email;
    request.code = Core::AuthInput::normalizeTwoFactorCode(code);
    request.pendingToken = pendingToken;
    request.useJwt = true;
    request.includeInit = true;

    const Networking::APIResponse response = postSignIn(u"tfa/verify"_s, request.toJson());
    if (response.error) {
        logAuth(Core::Log::Level::Warn,
                u"2FA verification failed (HTTP %1)"_s.arg(httpStatusOf(*response.error)));
        throw *response.error;
    }
    const Models::SingleLoginResponse answer = decodeSignInAnswer(response.body);
    if (answer.is2faActive.value_or(false)) {
        // The caller's pending token stays the one to send: the service may hand out another one
        // that the next verification would not accept.
        return Models::SingleLoginTwoFactorRequired{ email, userEmailOf(answer), pendingToken,
                                                     answer.message };
    }
    return completeSignIn(answer, email);
}

void AuthService::applyCompanyEndpoint(const Models::LoginCompany &company)
{
    // The sign-in answer that listed the company was checked already; this only keeps a plain-http
    // address from replacing an https one by any other road.
    if (isDowngrade(company.endpoint, Networking::ApiEndpoint::baseUrl()))
        return;
    if (const std::optional<QUrl> url
        = Networking::ApiEndpoint::normalizeCompanyEndpoint(company.endpoint))
        Networking::ApiEndpoint::saveOverride(url);
}

void AuthService::discardAbandonedSignIn(const Models::AuthTokens &tokens)
{
    const std::optional<Models::AuthTokens> stored = currentTokens();
    if (!stored || stored->accessToken != tokens.accessToken)
        return;
    if (Storage::TokenStore *store = m_tokenStore.load())
        store->clear();
    Networking::ApiEndpoint::saveOverride(std::nullopt);
    logAuth(Core::Log::Level::Info, u"Discarded a sign-in the user had walked away from"_s);
}

Models::SingleLoginResult AuthService::performSingleLogin(const Models::LoginRequest &request)
{
    const Networking::APIResponse response
            = postSignIn(u"authentication/singleLogin"_s, request.toJson());
    if (response.error)
        throw *response.error;
    const Models::SingleLoginResponse answer = decodeSignInAnswer(response.body);

    if (answer.is2faActive.value_or(false)) {
        Storage::LastLoginStore::save(request.email);
        logAuth(Core::Log::Level::Info, u"Login needs a second factor (2FA)"_s);
        return Models::SingleLoginTwoFactorRequired{ request.email, userEmailOf(answer),
                                                     answer.pendingToken, answer.message };
    }
    if (answer.otpRequired == 1) {
        Storage::LastLoginStore::save(request.email);
        return Models::SingleLoginOtpRequired{ request.email, userEmailOf(answer) };
    }
    return completeSignIn(answer, request.email);
}

Models::SingleLoginResult AuthService::completeSignIn(const Models::SingleLoginResponse &response,
                                                      const QString &email)
{
    const std::optional<Models::LoginTokens> fields = response.tokens();
    if (!fields)
        throw Networking::APIError::decodingFailed({});
    refuseInsecureEndpoints(response);
    const Models::AuthTokens tokens = tokensFromFields(*fields);
    if (Storage::TokenStore *store = m_tokenStore.load())
        store->save(tokens);
    Storage::LastLoginStore::save(email);
    logAuth(Core::Log::Level::Info, u"Login succeeded"_s);

    if (response.init) {
        if (const std::optional<QUrl> url
            = Networking::ApiEndpoint::normalizeCompanyEndpoint(response.init->endpoint))
            Networking::ApiEndpoint::saveOverride(url);
        return Models::SingleLoginDirectConfig{ tokens, response.user };
    }
    if (response.companies && !response.companies->isEmpty()) {
        QString userName = u"User"_s;
        if (response.user)
            userName = response.user->name.value_or(response.user->email);
        return Models::SingleLoginCompanySelection{ *response.companies, userName, tokens };
    }
    return Models::SingleLoginDirectConfig{ tokens, response.user };
}

Models::AuthTokens AuthService::tokensFromFields(const Models::LoginTokens &fields)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    Models::AuthTokens tokens;
    tokens.accessToken = fields.accessToken;
    tokens.refreshToken = fields.refreshToken;
    tokens.expiresAt = Models::parseServerDateTime(fields.expiresAt, accessFallbackSeconds, now);
    tokens.refreshExpiresAt
            = Models::parseServerDateTime(fields.refreshExpiresAt, refreshFallbackSeconds, now);
    tokens.expiresAtRaw = fields.expiresAt;
    tokens.refreshExpiresAtRaw = fields.refreshExpiresAt;
    return tokens;
}

} // namespace Services
