#include "TestEnvironment.h"

#include "models/GenerateOtpRequest.h"
#include "models/LoginRequest.h"
#include "models/RefreshRequest.h"
#include "models/ResetPasswordRequest.h"
#include "models/TwoFactorVerifyRequest.h"

#include <QJsonDocument>
#include <QTest>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

QJsonObject parsed(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class TestSignInRequests : public QObject
{
    Q_OBJECT

private slots:
    void encodesBodies_data();
    void encodesBodies();
};

void TestSignInRequests::encodesBodies_data()
{
    QTest::addColumn<QJsonObject>("body");
    QTest::addColumn<QJsonObject>("expected");

    QTest::newRow("password sign-in has numeric flags and no is_otp")
            << LoginRequest(u"a@b.c"_s, u"secret"_s, 1, 1, std::nullopt).toJson()
            << parsed(R"({"email":"a@b.c","password":"secret","remember_me":1,"use_jwt":1})");
    QTest::newRow("e-mail code step carries the code as the password")
            << LoginRequest(u"a@b.c"_s, u"123456"_s, 1, 1, 1).toJson()
            << parsed(R"({"email":"a@b.c","password":"123456","remember_me":1,"use_jwt":1,)"
                      R"("is_otp":1})");
    QTest::newRow("two-factor without pending token has bool flags")
            << TwoFactorVerifyRequest{ u"a@b.c"_s, u"654321"_s, std::nullopt, true, true }.toJson()
            << parsed(R"({"email":"a@b.c","code":"654321","use_jwt":true,"include_init":true})");
    QTest::newRow("two-factor with pending token")
            << TwoFactorVerifyRequest{ u"a@b.c"_s, u"654321"_s, u"pt"_s, true, false }.toJson()
            << parsed(R"({"email":"a@b.c","code":"654321","pending_token":"pt","use_jwt":true,)"
                      R"("include_init":false})");
    QTest::newRow("e-mail code request") << GenerateOtpRequest(u"a@b.c"_s, u"email"_s).toJson()
                                         << parsed(R"({"email":"a@b.c","via":"email"})");
    QTest::newRow("password reset keeps its camelCase app code")
            << ResetPasswordRequest{ u"123456"_s, u"n3w"_s, u"hr"_s }.toJson()
            << parsed(R"({"token":"123456","password":"n3w","appCode":"hr"})");
    QTest::newRow("token refresh")
            << refreshRequestJson(u"r-1"_s) << parsed(R"({"refresh_token":"r-1"})");
}

void TestSignInRequests::encodesBodies()
{
    QFETCH(QJsonObject, body);
    QFETCH(QJsonObject, expected);

    // QJsonValue tells 1 from true, so this also checks the kind of every flag.
    QCOMPARE(body, expected);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSignInRequests)
#include "tst_signinrequests.moc"
