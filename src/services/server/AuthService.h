#pragma once

#include "models/AuthTokens.h"
#include "models/LoginCompany.h"
#include "models/LoginRequest.h"
#include "models/LoginTokens.h"
#include "models/PasswordResetCodeCheckResponse.h"
#include "models/SingleLoginResponse.h"
#include "models/SingleLoginResult.h"
#include "models/TokenResponse.h"
#include "networking/APIResponse.h"
#include "networking/ITokenRefresher.h"
#include "services/server/SingleFlight.h"

#include <QMutex>
#include <QObject>
#include <QString>
#include <QWaitCondition>

#include <atomic>
#include <optional>
#include <utility>

namespace Storage {
class TokenStore;
}

namespace Services {

// Signs the user in, keeps the sign-in tokens fresh, signs out and resets a forgotten password.
//
// Threading: one process-wide instance. Every operation that talks to the server blocks its
// calling thread through that thread's HTTP client; the sign-in and password operations run on
// pool threads. Server and decoding failures are thrown as Networking::APIError by value (it has
// no base class: pool tasks must catch it inside the task). None of the sign-in or password
// requests carries the bearer token or triggers a refresh.
//
// Token refresh: one at a time in the whole process. With none in flight the calling thread
// refreshes, the GUI thread included; while one is in flight the GUI thread and the refreshing
// thread are told to defer, other threads wait up to 130 s for its outcome and never send their
// own. The refresh mutex is released while the request is on the wire and while a waiter waits.
// Lock order: configuration fetch mutex, refresh mutex, then the token store, the preferences,
// the configuration session mutex and the log.
class AuthService final : public QObject, public Networking::ITokenRefresher
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AuthService)

public:
    enum class RefreshDecision : int {
        RefreshHere = 0,
        Defer = 1,
        Wait = 2,
    };

    static AuthService &instance();

    // Not owned; linked once during wiring, before any other call. The same store the HTTP client
    // reads. Without one, no tokens are found and none are written.
    void setTokenStore(Storage::TokenStore *store);
    // Read from the store on every call; none when nothing decodable is stored.
    std::optional<Models::AuthTokens> currentTokens() const;

    // Sign-in. Concurrent calls with the same e-mail and password share one request.
    Models::SingleLoginResult singleLogin(const QString &email, const QString &password);
    Models::SingleLoginResult signInWithOtp(const QString &email, const QString &code);
    // Asks the service to e-mail a new code.
    void generateOtp(const QString &email);
    Models::SingleLoginResult verifyTwoFactor(const QString &email, const QString &code,
                                              const std::optional<QString> &pendingToken);
    // Stores the company's endpoint as the base-URL override when it normalises; never fails.
    void applyCompanyEndpoint(const Models::LoginCompany &company);
    // Forgets the sign-in that produced these tokens, unless a later one replaced them.
    void discardAbandonedSignIn(const Models::AuthTokens &tokens);

    // Called by the HTTP client on a 401, on the request's thread.
    Result refreshTokens() override;
    // Tells the service, then always clears the local sign-in data and the tokens; never throws.
    void logout();
    // Ends the configuration session and removes the base-URL override, the profile names and the
    // company time zone. Leaves the tokens to the caller.
    static void clearLocalSessionData();

    // Password recovery.
    void requestPasswordRecovery(const QString &email);
    // Sends the code's first six digits; fewer than six fail locally as Server 404.
    Models::PasswordResetCodeCheckResponse checkResetCode(const QString &code);
    // Throws Networking::APIError when the reset fails and PasswordChangedButSignInFailed when
    // the sign-in after it does.
    Models::SingleLoginResult
    resetPasswordAndSignIn(const QString &code, const QString &newPassword, const QString &email);

    static RefreshDecision refreshDecision(bool inFlight, bool callerIsRefreshingThread,
                                           bool callerIsGuiThread);
    static Models::AuthTokens tokensFromFields(const Models::LoginTokens &fields);
    static Models::AuthTokens tokensFromRefreshReply(const Models::TokenResponse &reply,
                                                     const QString &previousRefreshToken,
                                                     const QString &previousRefreshExpiresAtRaw);

private:
    using SignInKey = std::pair<QString, QString>;

    AuthService() = default;
    ~AuthService() override = default;

    Models::SingleLoginResult performSingleLogin(const Models::LoginRequest &request);
    Models::SingleLoginResult completeSignIn(const Models::SingleLoginResponse &response,
                                             const QString &email);
    // Called with the refresh mutex held, after the request; every way out of a refresh that
    // ran here goes through the caller's guard, which clears the in-flight state.
    Result finishRefresh(const Networking::APIResponse &response, const Models::AuthTokens &stored);
    void postSessionInvalidated();

    std::atomic<Storage::TokenStore *> m_tokenStore{ nullptr };
    Core::SingleFlight<Models::SingleLoginResult, SignInKey> m_signInFlight;
    QMutex m_refreshMutex;
    QWaitCondition m_refreshFinished;
    bool m_refreshInFlight = false;
    bool m_lastRefreshSucceeded = false;
    // The native identity of the thread running the refresh; nullptr when none.
    Qt::HANDLE m_refreshingThread = nullptr;
};

} // namespace Services
