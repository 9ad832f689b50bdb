#include "TestEnvironment.h"

#include "AuthServiceFixture.h"
#include "LogTail.h"
#include "TestCertificate.h"
#include "WorkerThread.h"

#include "storage/Log.h"
#include "storage/LogRedaction.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using Models::SingleLoginResult;
using Networking::APIError;
using Services::AuthService;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrScenario;
using namespace Qt::StringLiterals;

using OptionalText = std::optional<QString>;
using OptionalInt = std::optional<int>;
using OptionalUrl = std::optional<QUrl>;
Q_DECLARE_METATYPE(TestSupport::FakeHrScenario::SignIn)
Q_DECLARE_METATYPE(OptionalText)

namespace {

const QString ada = u"ada@example.com"_s;
const QString correct = u"correct horse"_s;

AuthService &auth()
{
    return AuthService::instance();
}

QStringList sortedKeys(const QJsonObject &object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

} // namespace

class TestAuthServiceSignIn : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void passwordSignInSendsIntegerFlagsWithoutOtpKey();
    void emailCodeStepSendsTheCodeAsPassword();
    void twoFactorStepSendsBooleansAndPendingTokenOnlyWhenGiven_data();
    void twoFactorStepSendsBooleansAndPendingTokenOnlyWhenGiven();
    void everyStandInVariantLeadsToItsOutcome_data();
    void everyStandInVariantLeadsToItsOutcome();
    void emailCodeThenCodeSignsIn();
    void twoFactorThenCodeSignsIn();
    void twoFactorStillRequiredKeepsTheCallersPendingToken();
    void recoveryCodeIsSentNormalised();
    void failedTwoFactorIsLoggedAndThrownUnchanged();
    void answersAreClassified_data();
    void answersAreClassified();
    void sameCredentialsShareOneRequest();
    void sharedFailureReachesEverySharer();
    void newEmailCodeRequestLogsAndThrowsTheRedactedError();
    void companyChoiceStoresTheNormalisedEndpoint_data();
    void companyChoiceStoresTheNormalisedEndpoint();
    void httpsAnswerNamingAPlainHttpCompanyIsRefused_data();
    void httpsAnswerNamingAPlainHttpCompanyIsRefused();
    void companyChoiceNeverLeavesHttps();
    void abandonedSignInIsDiscardedOnlyWhileItsTokensAreStored_data();
    void abandonedSignInIsDiscardedOnlyWhileItsTokensAreStored();

private:
    AuthBench m_bench;
};

void TestAuthServiceSignIn::initTestCase()
{
    m_bench.start();
    Core::Log::install();
}

void TestAuthServiceSignIn::init()
{
    m_bench.reset();
}

void TestAuthServiceSignIn::passwordSignInSendsIntegerFlagsWithoutOtpKey()
{
    // Stored tokens the client could attach, if it wrongly did.
    signIn(m_bench.server, m_bench.tokenStore);

    const CallOutcome outcome = callOutcome([] { return auth().singleLogin(ada, correct); });

    QCOMPARE(outcome.index(), 2);
    const TestSupport::RecordedRequest request
            = m_bench.server.requests(FakeHrRoute::SignIn).last();
    const QJsonObject body = request.jsonObject();
    QCOMPARE(sortedKeys(body),
             QStringList({ u"email"_s, u"password"_s, u"remember_me"_s, u"use_jwt"_s }));
    QCOMPARE(body.value("email"_L1).toString(), ada);
    QCOMPARE(body.value("password"_L1).toString(), correct);
    // Numbers, never JSON true.
    QVERIFY(body.value("remember_me"_L1).isDouble());
    QCOMPARE(body.value("remember_me"_L1).toInt(), 1);
    QVERIFY(body.value("use_jwt"_L1).isDouble());
    QCOMPARE(body.value("use_jwt"_L1).toInt(), 1);
    QVERIFY(!request.hasHeader("Authorization"));
}

void TestAuthServiceSignIn::emailCodeStepSendsTheCodeAsPassword()
{
    signIn(m_bench.server, m_bench.tokenStore);

    const CallOutcome outcome = callOutcome([] { return auth().signInWithOtp(ada, u"123456"_s); });

    QCOMPARE(outcome.index(), 2);
    const TestSupport::RecordedRequest request
            = m_bench.server.requests(FakeHrRoute::SignIn).last();
    const QJsonObject body = request.jsonObject();
    QCOMPARE(body.value("password"_L1).toString(), u"123456"_s);
    QVERIFY(body.value("is_otp"_L1).isDouble());
    QCOMPARE(body.value("is_otp"_L1).toInt(), 1);
    QCOMPARE(body.value("remember_me"_L1).toInt(), 1);
    QCOMPARE(body.value("use_jwt"_L1).toInt(), 1);
    QVERIFY(!request.hasHeader("Authorization"));
}

void TestAuthServiceSignIn::twoFactorStepSendsBooleansAndPendingTokenOnlyWhenGiven_data()
{
    QTest::addColumn<OptionalText>("pendingToken");

    QTest::newRow("with pending token") << OptionalText(u"pending-token-7"_s);
    QTest::newRow("without pending token") << OptionalText();
}

void TestAuthServiceSignIn::twoFactorStepSendsBooleansAndPendingTokenOnlyWhenGiven()
{
    QFETCH(OptionalText, pendingToken);
    signIn(m_bench.server, m_bench.tokenStore);

    const CallOutcome outcome = callOutcome(
            [&] { return auth().verifyTwoFactor(ada, u" 654 321 "_s, pendingToken); });

    QCOMPARE(outcome.index(), 2);
    const TestSupport::RecordedRequest request
            = m_bench.server.requests(FakeHrRoute::TwoFactorVerify).last();
    const QJsonObject body = request.jsonObject();
    QCOMPARE(body.value("code"_L1).toString(), u"654321"_s);
    QCOMPARE(body.value("use_jwt"_L1), QJsonValue(true));
    QCOMPARE(body.value("include_init"_L1), QJsonValue(true));
    QCOMPARE(body.contains("pending_token"_L1), pendingToken.has_value());
    if (pendingToken)
        QCOMPARE(body.value("pending_token"_L1).toString(), *pendingToken);
    QVERIFY(!request.hasHeader("Authorization"));
}

void TestAuthServiceSignIn::everyStandInVariantLeadsToItsOutcome_data()
{
    QTest::addColumn<FakeHrScenario::SignIn>("variant");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("tokensSaved");
    QTest::addColumn<bool>("overrideSet");

    QTest::newRow("direct, nested tokens")
            << FakeHrScenario::SignIn::DirectNested << 2 << true << true;
    QTest::newRow("direct, loose tokens")
            << FakeHrScenario::SignIn::DirectLoose << 2 << true << true;
    QTest::newRow("company selection")
            << FakeHrScenario::SignIn::CompanySelection << 1 << true << false;
    QTest::newRow("e-mail code") << FakeHrScenario::SignIn::EmailCode << 0 << false << false;
    QTest::newRow("two factor") << FakeHrScenario::SignIn::TwoFactor << 3 << false << false;
}

void TestAuthServiceSignIn::everyStandInVariantLeadsToItsOutcome()
{
    QFETCH(FakeHrScenario::SignIn, variant);
    QFETCH(int, index);
    QFETCH(bool, tokensSaved);
    QFETCH(bool, overrideSet);
    m_bench.server.updateScenario([&](FakeHrScenario &scenario) {
        scenario.signIn = variant;
        scenario.companyEndpoint = u"{origin}/acme"_s;
    });
    const QUrl before = m_bench.server.baseUrl();

    const CallOutcome outcome = callOutcome([] { return auth().singleLogin(ada, correct); });

    QCOMPARE(outcome.index(), index);
    QCOMPARE(Storage::LastLoginStore::load(), OptionalText(ada));
    QCOMPARE(m_bench.storedTokens().has_value(), tokensSaved);
    if (tokensSaved) {
        QCOMPARE(m_bench.storedTokens()->accessToken, m_bench.server.currentTokens()->accessToken);
        QCOMPARE(*m_bench.storedTokens(), *outcome.tokens());
    }
    QCOMPARE(Networking::ApiEndpoint::loadOverride(),
             OptionalUrl(overrideSet ? m_bench.baseFor(u"/acme"_s) : before));

    if (const auto *selection
        = std::get_if<Models::SingleLoginCompanySelection>(&*outcome.result)) {
        QCOMPARE(selection->userName, u"Ada Lovelace"_s);
        QCOMPARE(selection->companies.size(), 2);
        QCOMPARE(selection->companies.at(1).name, u"Globex"_s);
    }
    if (const auto *second = std::get_if<Models::SingleLoginTwoFactorRequired>(&*outcome.result)) {
        QCOMPARE(second->email, ada);
        QCOMPARE(second->userEmail, ada);
        QCOMPARE(second->pendingToken, OptionalText(u"pending-token-1"_s));
        QCOMPARE(second->message, OptionalText(u"Enter the code from your authenticator app."_s));
    }
    if (const auto *direct = std::get_if<Models::SingleLoginDirectConfig>(&*outcome.result))
        QCOMPARE(direct->user->name, OptionalText(u"Ada Lovelace"_s));
}

void TestAuthServiceSignIn::emailCodeThenCodeSignsIn()
{
    m_bench.server.updateScenario(
            [](FakeHrScenario &scenario) { scenario.signIn = FakeHrScenario::SignIn::EmailCode; });

    const CallOutcome first = callOutcome([] { return auth().singleLogin(ada, correct); });
    QCOMPARE(first.index(), 0);
    QCOMPARE(std::get<Models::SingleLoginOtpRequired>(*first.result),
             (Models::SingleLoginOtpRequired{ ada, ada }));
    const CallOutcome second = callOutcome([] { return auth().signInWithOtp(ada, u"123456"_s); });

    QCOMPARE(second.index(), 2);
    QCOMPARE(m_bench.storedTokens()->accessToken, m_bench.server.currentTokens()->accessToken);
}

void TestAuthServiceSignIn::twoFactorThenCodeSignsIn()
{
    m_bench.server.updateScenario(
            [](FakeHrScenario &scenario) { scenario.signIn = FakeHrScenario::SignIn::TwoFactor; });
    const CallOutcome first = callOutcome([] { return auth().singleLogin(ada, correct); });
    const auto pending = std::get<Models::SingleLoginTwoFactorRequired>(*first.result).pendingToken;

    const CallOutcome second
            = callOutcome([&] { return auth().verifyTwoFactor(ada, u"654321"_s, pending); });

    QCOMPARE(second.index(), 2);
    QCOMPARE(m_bench.storedTokens()->accessToken, m_bench.server.currentTokens()->accessToken);
    QCOMPARE(m_bench.server.requests(FakeHrRoute::TwoFactorVerify)
                     .last()
                     .jsonObject()
                     .value("pending_token"_L1)
                     .toString(),
             u"pending-token-1"_s);
}

void TestAuthServiceSignIn::twoFactorStillRequiredKeepsTheCallersPendingToken()
{
    m_bench.server.updateScenario(
            [](FakeHrScenario &scenario) { scenario.twoFactorStillRequired = true; });
    Storage::LastLoginStore::save(u"earlier@example.com"_s);

    const CallOutcome outcome
            = callOutcome([] { return auth().verifyTwoFactor(ada, u"654321"_s, u"mine"_s); });

    QCOMPARE(outcome.index(), 3);
    const auto &second = std::get<Models::SingleLoginTwoFactorRequired>(*outcome.result);
    QCOMPARE(second.pendingToken, OptionalText(u"mine"_s));
    QCOMPARE(second.message, OptionalText(u"Another code is needed."_s));
    QCOMPARE(second.userEmail, ada);
    QVERIFY(!m_bench.storedTokens());
    QCOMPARE(Storage::LastLoginStore::load(), OptionalText(u"earlier@example.com"_s));
}

void TestAuthServiceSignIn::recoveryCodeIsSentNormalised()
{
    m_bench.server.updateScenario([](FakeHrScenario &scenario) {
        scenario.twoFactorRecoveryCode = u"abcdef0123456789"_s;
    });

    const CallOutcome outcome = callOutcome(
            [] { return auth().verifyTwoFactor(ada, u"ABCD EF01-2345-6789"_s, std::nullopt); });

    QCOMPARE(outcome.index(), 2);
    QCOMPARE(m_bench.server.requests(FakeHrRoute::TwoFactorVerify)
                     .last()
                     .jsonObject()
                     .value("code"_L1)
                     .toString(),
             u"abcdef0123456789"_s);
}

void TestAuthServiceSignIn::failedTwoFactorIsLoggedAndThrownUnchanged()
{
    const LogTail log;

    const CallOutcome outcome
            = callOutcome([] { return auth().verifyTwoFactor(ada, u"000000"_s, std::nullopt); });

    QVERIFY(outcome.apiError);
    QCOMPARE(outcome.apiError->kind, APIError::Kind::Server);
    QCOMPARE(outcome.apiError->httpStatus, OptionalInt(422));
    QCOMPARE(outcome.apiError->serverMessage, OptionalText(u"The two-factor code is invalid."_s));
    QVERIFY(log.contains(u"[WARN] [auth]"_s, u"2FA verification failed (HTTP 422)"_s));
    QVERIFY(!m_bench.storedTokens());
}

void TestAuthServiceSignIn::answersAreClassified_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("tokensSaved");
    QTest::addColumn<bool>("emailSaved");
    // "unchanged", else the path before "/api/v1/" under the stand-in's origin.
    QTest::addColumn<QString>("override");
    QTest::addColumn<QString>("userName");

    const QByteArray nested = R"("data":{"access_token":"a1","refresh_token":"r1",)"
                              R"("token_type":"Bearer","expires_at":"2030-01-01 10:00:00",)"
                              R"("refresh_expires_at":"2030-02-01 10:00:00"})";
    const QByteArray companies = R"("companies":[{"name":"Acme","endpoint":"{origin}/acme"}])";
    const QByteArray user = R"("user":{"email":"u@example.com","name":"Una"})";

    QTest::newRow("2FA with OTP asks for the second factor")
            << QByteArray(R"({"is_2fa_active":true,"otp_required":1})") << 3 << false << true
            << u"unchanged"_s << QString();
    QTest::newRow("2FA false with OTP 1 asks for the code")
            << QByteArray(R"({"is_2fa_active":false,"otp_required":1})") << 0 << false << true
            << u"unchanged"_s << QString();
    QTest::newRow("OTP 2 signs in") << R"({"otp_required":2,)" + nested + "}" << 2 << true << true
                                    << u"unchanged"_s << QString();
    QTest::newRow("init plus companies signs in directly")
            << R"({"init":{"endpoint":"{origin}"},)" + companies + "," + nested + "}" << 2 << true
            << true << u""_s << QString();
    QTest::newRow("init that does not normalise keeps the override")
            << R"({"init":{"endpoint":"  "},)" + nested + "}" << 2 << true << true << u"unchanged"_s
            << QString();
    QTest::newRow("empty companies without init signs in directly")
            << R"({"companies":[],)" + nested + "}" << 2 << true << true << u"unchanged"_s
            << QString();
    QTest::newRow("companies with a named user")
            << "{" + companies + "," + user + "," + nested + "}" << 1 << true << true
            << u"unchanged"_s << u"Una"_s;
    QTest::newRow("companies with a user without name")
            << "{" + companies + R"(,"user":{"email":"u@example.com"},)" + nested + "}" << 1 << true
            << true << u"unchanged"_s << u"u@example.com"_s;
    QTest::newRow("companies without user") << "{" + companies + "," + nested + "}" << 1 << true
                                            << true << u"unchanged"_s << u"User"_s;
    QTest::newRow("three loose tokens fail")
            << QByteArray(R"({"access_token":"a1","refresh_token":"r1","expires_at":"x"})") << -1
            << false << false << u"unchanged"_s << QString();
    QTest::newRow("nested tokens without token_type fail")
            << QByteArray(R"({"data":{"access_token":"a1","refresh_token":"r1",)"
                          R"("expires_at":"2030-01-01 10:00:00",)"
                          R"("refresh_expires_at":"2030-02-01 10:00:00"}})")
            << -1 << false << false << u"unchanged"_s << QString();
}

void TestAuthServiceSignIn::answersAreClassified()
{
    QFETCH(QByteArray, data);
    QFETCH(int, index);
    QFETCH(bool, tokensSaved);
    QFETCH(bool, emailSaved);
    QFETCH(QString, override);
    QFETCH(QString, userName);
    const QUrl before = m_bench.baseFor(u"/before"_s);
    Networking::ApiEndpoint::saveOverride(before);
    data.replace("{origin}", m_bench.server.origin().toEncoded());
    m_bench.server.addFault(FakeHrRoute::SignIn,
                            FakeHrFault::answer(200, "{\"data\":" + data + "}"));

    const CallOutcome outcome = callOutcome([] { return auth().singleLogin(ada, correct); });

    QCOMPARE(outcome.index(), index);
    if (index < 0) {
        QCOMPARE(outcome.apiError->kind, APIError::Kind::Decoding);
        QCOMPARE(outcome.apiError->message, u"Decoding failed"_s);
        QVERIFY(!outcome.apiError->httpStatus);
    }
    QCOMPARE(m_bench.storedTokens().has_value(), tokensSaved);
    if (tokensSaved)
        QCOMPARE(m_bench.storedTokens()->accessToken, u"a1"_s);
    QCOMPARE(Storage::LastLoginStore::load().has_value(), emailSaved);
    QCOMPARE(Networking::ApiEndpoint::loadOverride(),
             OptionalUrl(override == "unchanged"_L1 ? before : m_bench.baseFor(override)));
    if (!userName.isNull())
        QCOMPARE(std::get<Models::SingleLoginCompanySelection>(*outcome.result).userName, userName);
}

void TestAuthServiceSignIn::sameCredentialsShareOneRequest()
{
    m_bench.server.addFault(FakeHrRoute::SignIn, FakeHrFault::delay(1500));
    CallOutcome first;
    CallOutcome sharer;
    CallOutcome wrongPassword;
    CallOutcome otherEmail;

    WorkerThread one([&] { first = callOutcome([] { return auth().singleLogin(ada, correct); }); });
    QVERIFY(m_bench.server.waitForRequests(1, FakeHrRoute::SignIn));
    WorkerThread two(
            [&] { sharer = callOutcome([] { return auth().singleLogin(ada, correct); }); });
    WorkerThread three([&] {
        wrongPassword = callOutcome([] { return auth().singleLogin(ada, u"wrong horse"_s); });
    });
    WorkerThread four([&] {
        otherEmail
                = callOutcome([] { return auth().singleLogin(u"grace@example.com"_s, correct); });
    });
    QVERIFY(one.wait());
    QVERIFY(two.wait());
    QVERIFY(three.wait());
    QVERIFY(four.wait());

    QCOMPARE(first.index(), 2);
    QCOMPARE(sharer.result, first.result);
    QVERIFY(wrongPassword.apiError);
    QCOMPARE(wrongPassword.apiError->kind, APIError::Kind::Unauthorized);
    QCOMPARE(wrongPassword.apiError->httpStatus, OptionalInt(401));
    QVERIFY(otherEmail.apiError);
    QCOMPARE(otherEmail.apiError->kind, APIError::Kind::Unauthorized);
    // The shared run, then one request each for the other credentials.
    const QList<TestSupport::RecordedRequest> requests
            = m_bench.server.requests(FakeHrRoute::SignIn);
    QCOMPARE(requests.size(), 3);
    QCOMPARE(requests.at(0).jsonObject().value("password"_L1).toString(), correct);
    QCOMPARE(*m_bench.storedTokens(), *first.tokens());
}

void TestAuthServiceSignIn::sharedFailureReachesEverySharer()
{
    m_bench.server.addFault(FakeHrRoute::SignIn, FakeHrFault::answer(500).after(1000));
    CallOutcome first;
    CallOutcome sharer;

    WorkerThread one([&] { first = callOutcome([] { return auth().singleLogin(ada, correct); }); });
    QVERIFY(m_bench.server.waitForRequests(1, FakeHrRoute::SignIn));
    WorkerThread two(
            [&] { sharer = callOutcome([] { return auth().singleLogin(ada, correct); }); });
    QVERIFY(one.wait());
    QVERIFY(two.wait());

    QVERIFY(first.apiError);
    QCOMPARE(first.apiError->kind, APIError::Kind::Server);
    QCOMPARE(first.apiError->httpStatus, OptionalInt(500));
    QCOMPARE(sharer.apiError, first.apiError);
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::SignIn), 1);
    QVERIFY(!Storage::LastLoginStore::load());
}

void TestAuthServiceSignIn::newEmailCodeRequestLogsAndThrowsTheRedactedError()
{
    const QByteArray secretBody = R"({"message":"No such user","access_token":"leaked-secret"})";
    m_bench.server.addFault(FakeHrRoute::GenerateOtp, FakeHrFault::answer(404, secretBody));
    const LogTail log;

    const CallOutcome failed = callOutcome([] { auth().generateOtp(ada); });
    const CallOutcome succeeded = callOutcome([] { auth().generateOtp(ada); });

    QVERIFY(failed.apiError);
    QCOMPARE(failed.apiError->httpStatus, OptionalInt(404));
    QCOMPARE(failed.apiError->serverMessage, OptionalText(u"No such user"_s));
    QVERIFY(log.contains(u"[ERROR] [auth]"_s,
                         u"Generate OTP failed: "_s
                                 + Networking::redactForLog(failed.apiError->message)));
    QVERIFY(!succeeded.apiError);
    QVERIFY(log.contains(u"[INFO] [auth]"_s, u"Generate OTP succeeded"_s));
    const QJsonObject body = m_bench.server.requests(FakeHrRoute::GenerateOtp).last().jsonObject();
    QCOMPARE(body, QJsonObject({ { u"email"_s, ada }, { u"via"_s, u"email"_s } }));
    QVERIFY(!m_bench.server.requests(FakeHrRoute::GenerateOtp).last().hasHeader("Authorization"));
}

void TestAuthServiceSignIn::companyChoiceStoresTheNormalisedEndpoint_data()
{
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bare host") << u"acme.example.com"_s << u"https://acme.example.com/api/v1/"_s;
    QTest::newRow("full base") << u"https://acme.example.com/api/v1"_s
                               << u"https://acme.example.com/api/v1/"_s;
    QTest::newRow("blank keeps the override") << u"   "_s << QString();
}

void TestAuthServiceSignIn::companyChoiceStoresTheNormalisedEndpoint()
{
    QFETCH(QString, endpoint);
    QFETCH(QString, expected);

    auth().applyCompanyEndpoint(Models::LoginCompany{ u"Acme"_s, endpoint });

    QCOMPARE(Networking::ApiEndpoint::loadOverride(),
             OptionalUrl(expected.isEmpty() ? m_bench.server.baseUrl() : QUrl(expected)));
    QCOMPARE(m_bench.server.requestCount(), 0);
}

void TestAuthServiceSignIn::httpsAnswerNamingAPlainHttpCompanyIsRefused_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("refused");
    const QByteArray nested = R"("data":{"access_token":"a1","refresh_token":"r1",)"
                              R"("token_type":"Bearer","expires_at":"2030-01-01 10:00:00",)"
                              R"("refresh_expires_at":"2030-02-01 10:00:00"})";
    QTest::newRow("http company endpoint")
            << R"({"init":{"endpoint":"{http}/acme"},)" + nested + "}" << true;
    QTest::newRow("http company in the list")
            << R"({"companies":[{"name":"Safe","endpoint":"{https}/safe"},)"
               R"({"name":"Acme","endpoint":"{http}/acme"}],)"
                       + nested + "}"
            << true;
    QTest::newRow("https company endpoint")
            << R"({"init":{"endpoint":"{https}/acme"},)" + nested + "}" << false;
    QTest::newRow("bare host becomes https")
            << R"({"init":{"endpoint":"acme.example.com"},)" + nested + "}" << false;
}

void TestAuthServiceSignIn::httpsAnswerNamingAPlainHttpCompanyIsRefused()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, refused);
    TestSupport::FakeHrServer secure(TestSupport::FakeHrServer::Transport::Https);
    QVERIFY(secure.start());
    TestSupport::TestCertificate::trustInProcess(&Networking::APIClient::networkAccessManager());
    Networking::ApiEndpoint::saveOverride(secure.baseUrl());
    data.replace("{http}", m_bench.server.origin().toEncoded())
            .replace("{https}", secure.origin().toEncoded());
    secure.addFault(FakeHrRoute::SignIn, FakeHrFault::answer(200, "{\"data\":" + data + "}"));
    LogTail log;

    const CallOutcome outcome = callOutcome([] { return auth().singleLogin(ada, correct); });

    QCOMPARE(outcome.apiError.has_value(), refused);
    QCOMPARE(m_bench.storedTokens().has_value(), !refused);
    if (refused) {
        QCOMPARE(outcome.apiError->kind, APIError::Kind::InsecureEndpoint);
        QCOMPARE(Networking::ApiEndpoint::loadOverride(), OptionalUrl(secure.baseUrl()));
        QVERIFY(log.contains(
                u"[WARN] [auth]"_s,
                u"Login refused: the answer names a company address that is not https"_s));
    }
    QCOMPARE(m_bench.server.requestCount(), 0);
}

void TestAuthServiceSignIn::companyChoiceNeverLeavesHttps()
{
    const QUrl secure(u"https://hr.example.com/api/v1/"_s);
    Networking::ApiEndpoint::saveOverride(secure);

    auth().applyCompanyEndpoint(Models::LoginCompany{ u"Acme"_s, u"http://acme.example.com"_s });

    QCOMPARE(Networking::ApiEndpoint::loadOverride(), OptionalUrl(secure));
}

void TestAuthServiceSignIn::abandonedSignInIsDiscardedOnlyWhileItsTokensAreStored_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<bool>("sameAccessToken");
    QTest::addColumn<bool>("discarded");

    QTest::newRow("still the stored sign-in") << true << true << true;
    QTest::newRow("replaced by a later sign-in") << true << false << false;
    QTest::newRow("nothing stored") << false << false << false;
}

void TestAuthServiceSignIn::abandonedSignInIsDiscardedOnlyWhileItsTokensAreStored()
{
    QFETCH(bool, stored);
    QFETCH(bool, sameAccessToken);
    QFETCH(bool, discarded);
    const Models::AuthTokens abandoned
            = authTokens(m_bench.server.issueTokens(), QDateTime::currentDateTimeUtc().addSecs(60));
    if (stored) {
        Models::AuthTokens current = abandoned;
        if (!sameAccessToken)
            current.accessToken = u"later-token"_s;
        // Everything but the access token differs: only that one is compared.
        current.refreshToken = u"other-refresh"_s;
        m_bench.tokenStore.save(current);
    }
    Storage::LastLoginStore::save(ada);
    Storage::saveUserProfile(u"Ada"_s, u"Acme"_s);
    const std::optional<Models::AuthTokens> before = m_bench.storedTokens();
    const LogTail log;

    auth().discardAbandonedSignIn(abandoned);

    QCOMPARE(m_bench.storedTokens().has_value(), stored && !discarded);
    if (!discarded)
        QCOMPARE(m_bench.storedTokens(), before);
    QCOMPARE(Networking::ApiEndpoint::loadOverride().has_value(), !discarded);
    QCOMPARE(log.contains(u"[INFO] [auth]"_s,
                          u"Discarded a sign-in the user had walked away from"_s),
             discarded);
    QCOMPARE(Storage::LastLoginStore::load(), OptionalText(ada));
    QCOMPARE(Storage::savedUserName(), OptionalText(u"Ada"_s));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAuthServiceSignIn)

#include "tst_authservice_signin.moc"
