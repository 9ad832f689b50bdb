#pragma once

#include "ui/signin/LoginBackend.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

// Stands in for the services behind the sign-in view. Each server call records its arguments
// and, while held, waits on its gate, so a test decides when the answer arrives; the answer is a
// function the test sets before it opens the gate (it may throw). The GUI-thread completion calls
// record their order in one list.
namespace SignInTest {

class FakeCall
{
public:
    // Calls wait for open() until release() or answerNow().
    void hold() { m_held = true; }
    void open(int count = 1) { m_gate.release(count); }
    int count() const { return m_count.load(); }
    QList<QStringList> arguments() const
    {
        QMutexLocker locker(&m_mutex);
        return m_arguments;
    }

    // Runs on the pool thread: records, waits when held, then lets answer run.
    void enter(const QStringList &arguments)
    {
        {
            QMutexLocker locker(&m_mutex);
            m_arguments.append(arguments);
        }
        ++m_count;
        if (m_held)
            m_gate.acquire();
    }

private:
    mutable QMutex m_mutex;
    QList<QStringList> m_arguments;
    std::atomic<int> m_count{ 0 };
    std::atomic<bool> m_held{ false };
    QSemaphore m_gate;
};

struct FakeLoginBackend
{
    FakeCall login;
    FakeCall otp;
    FakeCall generateOtp;
    FakeCall twoFactor;
    FakeCall recovery;
    FakeCall checkCode;
    FakeCall resetSubmit;
    FakeCall companyEndpoint;
    FakeCall config;

    // Answers, read on the pool thread after the gate; set them before opening it.
    std::function<Models::SingleLoginResult()> loginAnswer;
    std::function<Models::SingleLoginResult()> otpAnswer;
    std::function<void()> generateOtpAnswer = [] {};
    std::function<Models::SingleLoginResult()> twoFactorAnswer;
    std::function<void()> recoveryAnswer = [] {};
    std::function<Models::PasswordResetCodeCheckResponse()> checkCodeAnswer;
    std::function<Models::SingleLoginResult()> resetSubmitAnswer;
    std::function<void()> companyEndpointAnswer = [] {};
    std::function<Models::RemoteConfig()> configAnswer = [] { return Models::RemoteConfig(); };

    // GUI thread.
    QStringList effects;
    QList<Models::AuthTokens> discarded;
    bool authenticated = false;
    std::function<void(const Models::RemoteConfig &)> refreshCallback;

    void install()
    {
        UI::LoginBackend &backend = UI::LoginBackendTestHooks::current();
        backend.singleLogin = [this](const QString &email, const QString &password) {
            login.enter({ email, password });
            return loginAnswer();
        };
        backend.signInWithOtp = [this](const QString &email, const QString &code) {
            otp.enter({ email, code });
            return otpAnswer();
        };
        backend.generateOtp = [this](const QString &email) {
            generateOtp.enter({ email });
            generateOtpAnswer();
        };
        backend.verifyTwoFactor = [this](const QString &email, const QString &code,
                                         const std::optional<QString> &token) {
            twoFactor.enter({ email, code, token.value_or(QStringLiteral("<none>")) });
            return twoFactorAnswer();
        };
        backend.requestPasswordRecovery = [this](const QString &email) {
            recovery.enter({ email });
            recoveryAnswer();
        };
        backend.checkResetCode = [this](const QString &code) {
            checkCode.enter({ code });
            return checkCodeAnswer();
        };
        backend.resetPasswordAndSignIn
                = [this](const QString &code, const QString &password, const QString &email) {
                      resetSubmit.enter({ code, password, email });
                      return resetSubmitAnswer();
                  };
        backend.applyCompanyEndpoint = [this](const Models::LoginCompany &company) {
            companyEndpoint.enter({ company.name, company.endpoint });
            companyEndpointAnswer();
        };
        backend.fetchConfigOrCached = [this] {
            config.enter({});
            return configAnswer();
        };
        backend.discardAbandonedSignIn
                = [this](const Models::AuthTokens &tokens) { discarded.append(tokens); };
        backend.startPeriodicRefresh
                = [this](std::function<void(const Models::RemoteConfig &)> callback) {
                      effects.append(QStringLiteral("startPeriodicRefresh"));
                      refreshCallback = std::move(callback);
                  };
        backend.isAuthenticated = [this] { return authenticated; };
        backend.setRemoteConfig = [this](const Models::RemoteConfig &) {
            effects.append(QStringLiteral("setRemoteConfig"));
        };
        backend.applyRemoteConfig = [this](const std::optional<Models::RemoteConfig> &) {
            effects.append(QStringLiteral("applyRemoteConfig"));
        };
        backend.setIsAuthenticated = [this](bool value) {
            authenticated = value;
            effects.append(QStringLiteral("setIsAuthenticated"));
        };
        backend.refreshPermissions
                = [this] { effects.append(QStringLiteral("refreshPermissions")); };
    }

    // Opens every gate and waits for the pool, so no task outlives the test's fake.
    void finish()
    {
        for (FakeCall *call : { &login, &otp, &generateOtp, &twoFactor, &recovery, &checkCode,
                                &resetSubmit, &companyEndpoint, &config })
            call->open(100);
        QThreadPool::globalInstance()->waitForDone();
        UI::LoginBackendTestHooks::current() = UI::LoginBackend::real();
    }
};

} // namespace SignInTest
