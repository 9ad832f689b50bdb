#include "TestEnvironment.h"

#include "AuthServiceFixture.h"
#include "LogTail.h"

#include "storage/Log.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QTest>

using Networking::APIError;
using Services::AuthService;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrScenario;
using namespace Qt::StringLiterals;

using OptionalText = std::optional<QString>;
using OptionalInt = std::optional<int>;
using OptionalBool = std::optional<bool>;

namespace {

const QString ada = u"ada@example.com"_s;
const QString newPassword = u"Brand new 42"_s;

AuthService &auth()
{
    return AuthService::instance();
}

} // namespace

class TestAuthServicePassword : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void recoveryRequestSendsTheEmailAndAnIntegerMobileFlag();
    void failedRecoveryRequestIsLoggedAndThrown();
    void codeCheckSendsOnlyTheFirstSixDigits_data();
    void codeCheckSendsOnlyTheFirstSixDigits();
    void codeCheckWithFewerThanSixDigitsSendsNothing();
    void failedCodeCheckIsLoggedAndThrown();
    void resetSignsInWithTheNewPassword();
    void resetThenSecondFactorReturnsThatOutcome();
    void resetThenRejectedSignInThrowsPasswordChanged();
    void rejectedResetIsThrownUnchangedWithoutSignIn();

private:
    AuthBench m_bench;
};

void TestAuthServicePassword::initTestCase()
{
    m_bench.start();
    Core::Log::install();
}

void TestAuthServicePassword::init()
{
    m_bench.reset();
}

void TestAuthServicePassword::recoveryRequestSendsTheEmailAndAnIntegerMobileFlag()
{
    const LogTail log;

    const CallOutcome outcome = callOutcome([] { auth().requestPasswordRecovery(ada); });

    QVERIFY(!outcome.apiError);
    const TestSupport::RecordedRequest request
            = m_bench.server.requests(FakeHrRoute::PasswordRecovery).constFirst();
    QCOMPARE(request.jsonObject(), QJsonObject({ { u"email"_s, ada }, { u"mobile"_s, 1 } }));
    QVERIFY(request.jsonObject().value("mobile"_L1).isDouble());
    QVERIFY(!request.hasHeader("Authorization"));
    QVERIFY(log.contains(u"[INFO] [auth]"_s, u"Password recovery request succeeded"_s));
}

void TestAuthServicePassword::failedRecoveryRequestIsLoggedAndThrown()
{
    const LogTail log;

    const CallOutcome outcome
            = callOutcome([] { auth().requestPasswordRecovery(u"nobody@example.com"_s); });

    QVERIFY(outcome.apiError);
    QCOMPARE(outcome.apiError->kind, APIError::Kind::Server);
    QCOMPARE(outcome.apiError->httpStatus, OptionalInt(404));
    QVERIFY(log.contains(u"[ERROR] [auth]"_s,
                         u"Password recovery failed: "_s + outcome.apiError->message));
}

void TestAuthServicePassword::codeCheckSendsOnlyTheFirstSixDigits_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<OptionalBool>("valid");

    QTest::newRow("the valid code") << u"246810"_s << u"246810"_s << OptionalBool(true);
    QTest::newRow("broken up by blanks and a dash")
            << u"24 68-10"_s << u"246810"_s << OptionalBool(true);
    QTest::newRow("seven digits") << u"2468109"_s << u"246810"_s << OptionalBool(true);
}

void TestAuthServicePassword::codeCheckSendsOnlyTheFirstSixDigits()
{
    QFETCH(QString, typed);
    QFETCH(QString, sent);
    QFETCH(OptionalBool, valid);

    const Models::PasswordResetCodeCheckResponse answer = auth().checkResetCode(typed);

    QCOMPARE(answer.valid, valid);
    QCOMPARE(answer.email, OptionalText(ada));
    const TestSupport::RecordedRequest request
            = m_bench.server.requests(FakeHrRoute::PasswordRecoveryCheck).constFirst();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.apiPath, u"authentication/password/recovery/"_s + sent);
    QVERIFY(!request.hasHeader("Authorization"));
}

void TestAuthServicePassword::codeCheckWithFewerThanSixDigitsSendsNothing()
{
    const LogTail log;

    const CallOutcome outcome = callOutcome([] { return auth().checkResetCode(u"12 34-5"_s); });

    QVERIFY(outcome.apiError);
    QCOMPARE(*outcome.apiError,
             (APIError{ APIError::Kind::Server, 404, u"Not a 6-digit code; not sent"_s,
                        std::nullopt, std::nullopt }));
    QCOMPARE(m_bench.server.requestCount(), 0);
    QCOMPARE(log.lines(), QStringList());
}

void TestAuthServicePassword::failedCodeCheckIsLoggedAndThrown()
{
    const LogTail log;

    const CallOutcome outcome = callOutcome([] { return auth().checkResetCode(u"12 34-56"_s); });

    QVERIFY(outcome.apiError);
    QCOMPARE(outcome.apiError->httpStatus, OptionalInt(404));
    QCOMPARE(m_bench.server.requests(FakeHrRoute::PasswordRecoveryCheck).constFirst().apiPath,
             u"authentication/password/recovery/123456"_s);
    QVERIFY(log.contains(u"[WARN] [auth]"_s, u"Reset-code check failed (HTTP 404)"_s));
    // The request log names the path without the code.
    const QStringList lines = log.lines();
    QVERIFY(!lines.filter(u"password/recovery/<redacted>"_s).isEmpty());
    QCOMPARE(lines.filter(u"123456"_s), QStringList());
}

void TestAuthServicePassword::resetSignsInWithTheNewPassword()
{
    const LogTail log;

    const CallOutcome outcome = callOutcome(
            [] { return auth().resetPasswordAndSignIn(u"24-68 10"_s, newPassword, ada); });

    QCOMPARE(outcome.index(), 2);
    QCOMPARE(m_bench.server.requests(FakeHrRoute::PasswordReset).constFirst().jsonObject(),
             QJsonObject({ { u"token"_s, u"246810"_s },
                           { u"password"_s, newPassword },
                           { u"appCode"_s, u"hr"_s } }));
    const QJsonObject signInBody
            = m_bench.server.requests(FakeHrRoute::SignIn).constFirst().jsonObject();
    QCOMPARE(signInBody.value("password"_L1).toString(), newPassword);
    QVERIFY(!signInBody.contains("is_otp"_L1));
    QCOMPARE(m_bench.storedTokens()->accessToken, m_bench.server.currentTokens()->accessToken);
    QCOMPARE(Storage::LastLoginStore::load(), OptionalText(ada));
    QVERIFY(log.contains(u"[INFO] [auth]"_s,
                         u"Password changed; signing in with the new password"_s));
}

void TestAuthServicePassword::resetThenSecondFactorReturnsThatOutcome()
{
    m_bench.server.updateScenario(
            [](FakeHrScenario &scenario) { scenario.signIn = FakeHrScenario::SignIn::TwoFactor; });

    const CallOutcome outcome = callOutcome(
            [] { return auth().resetPasswordAndSignIn(u"246810"_s, newPassword, ada); });

    QCOMPARE(outcome.index(), 3);
    QVERIFY(!m_bench.storedTokens());
}

void TestAuthServicePassword::resetThenRejectedSignInThrowsPasswordChanged()
{
    m_bench.server.addFault(FakeHrRoute::SignIn, FakeHrFault::message(401, u"No."_s));
    const LogTail log;

    QString failure;
    try {
        auth().resetPasswordAndSignIn(u"246810"_s, newPassword, ada);
    } catch (const Services::PasswordChangedButSignInFailed &error) {
        failure = QString::fromUtf8(error.what());
    }

    QCOMPARE(failure, u"password changed, sign-in failed"_s);
    QCOMPARE(m_bench.server.scenario().password, newPassword);
    QVERIFY(log.contains(u"[WARN] [auth]"_s, u"Password changed but sign-in failed (HTTP 401)"_s));
    QVERIFY(!m_bench.storedTokens());
}

void TestAuthServicePassword::rejectedResetIsThrownUnchangedWithoutSignIn()
{
    const LogTail log;

    // Four digits are still sent as they are.
    const CallOutcome outcome = callOutcome(
            [] { return auth().resetPasswordAndSignIn(u"12-34"_s, newPassword, ada); });

    QCOMPARE(m_bench.server.requests(FakeHrRoute::PasswordReset)
                     .constFirst()
                     .jsonObject()
                     .value("token"_L1)
                     .toString(),
             u"1234"_s);
    QVERIFY(outcome.apiError);
    QCOMPARE(outcome.apiError->kind, APIError::Kind::Server);
    QCOMPARE(outcome.apiError->httpStatus, OptionalInt(422));
    QCOMPARE(outcome.apiError->serverMessage,
             OptionalText(u"This password reset code is invalid."_s));
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::SignIn), 0);
    QVERIFY(log.contains(u"[WARN] [auth]"_s, u"Password reset rejected (HTTP 422)"_s));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAuthServicePassword)

#include "tst_authservice_password.moc"
