#include "DecodingFailure.h"
#include "TestEnvironment.h"

#include "models/JsonDecodingError.h"
#include "models/SingleLoginResponse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

QJsonObject parsed(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

const QJsonObject nestedTokens = parsed(R"({"access_token":"na","refresh_token":"nr",)"
                                        R"("token_type":"JWT","expires_at":"ne",)"
                                        R"("refresh_expires_at":"nre"})");

QJsonObject withLooseTokens(QJsonObject data, int count)
{
    const QStringList keys{ u"access_token"_s, u"refresh_token"_s, u"expires_at"_s,
                            u"refresh_expires_at"_s };
    for (int i = 0; i < count; ++i)
        data.insert(keys.at(i), u"loose-"_s + keys.at(i));
    return data;
}

// Single-line raw strings: moc does not follow a raw string across lines.
QJsonObject validAnswer()
{
    return parsed(R"({"otp_required":0,"is_2fa_active":false,"pending_token":"pt",)"
                  R"("message":"Welcome","user":{"email":"ann@example.com","name":"Ann"},)"
                  R"("init":{"endpoint":"https://acme.example.com"},)"
                  R"("companies":[{"name":"Acme","endpoint":"https://acme.example.com"},7,)"
                  R"({"name":"Beta","endpoint":"https://beta.example.com"}]})");
}

} // namespace

class TestSingleLoginResponse : public QObject
{
    Q_OBJECT

private slots:
    void decodesValidAnswer();
    void decodesEmptyDataWithEverythingAbsent();
    void choosesTokenSet_data();
    void choosesTokenSet();
    void tellsAbsentCompaniesFromEmpty();
    void readsFlagsStrictlyOrLeniently_data();
    void readsFlagsStrictlyOrLeniently();
    void rejectsBadAnswers_data();
    void rejectsBadAnswers();
};

void TestSingleLoginResponse::decodesValidAnswer()
{
    const SingleLoginResponse response = SingleLoginResponse::fromEnvelope(
            QJsonObject{ { u"data"_s, validAnswer() }, { u"success"_s, true } });

    QCOMPARE(response.otpRequired, std::optional(0));
    QCOMPARE(response.is2faActive, std::optional(false));
    QCOMPARE(response.pendingToken, std::optional(u"pt"_s));
    QCOMPARE(response.message, std::optional(u"Welcome"_s));
    QCOMPARE(response.user, std::optional(LoginUser{ u"ann@example.com"_s, u"Ann"_s }));
    QCOMPARE(response.init, std::optional(LoginInit{ u"https://acme.example.com"_s }));
    const QList<LoginCompany> companies{ { u"Acme"_s, u"https://acme.example.com"_s },
                                         { u"Beta"_s, u"https://beta.example.com"_s } };
    QCOMPARE(response.companies, std::optional(companies));
    QVERIFY(!response.tokens().has_value());
}

void TestSingleLoginResponse::decodesEmptyDataWithEverythingAbsent()
{
    const SingleLoginResponse response
            = SingleLoginResponse::fromEnvelope(QJsonObject{ { u"data"_s, QJsonObject() } });

    QCOMPARE(response, SingleLoginResponse{});
    QVERIFY(!response.tokens().has_value());
}

void TestSingleLoginResponse::choosesTokenSet_data()
{
    QTest::addColumn<QJsonObject>("data");
    QTest::addColumn<std::optional<LoginTokens>>("expected");

    const LoginTokens nested{ u"na"_s, u"nr"_s, u"JWT"_s, u"ne"_s, u"nre"_s };
    const LoginTokens loose{ u"loose-access_token"_s, u"loose-refresh_token"_s, u"Bearer"_s,
                             u"loose-expires_at"_s, u"loose-refresh_expires_at"_s };

    QJsonObject data = validAnswer();
    data.insert(u"data", nestedTokens);
    QTest::newRow("nested set alone") << data << std::optional(nested);
    QTest::newRow("nested set wins over loose texts")
            << withLooseTokens(data, 4) << std::optional(nested);
    QTest::newRow("four loose texts get the type Bearer")
            << withLooseTokens(validAnswer(), 4) << std::optional(loose);
    QTest::newRow("three loose texts are no token set")
            << withLooseTokens(validAnswer(), 3) << std::optional<LoginTokens>();

    data = withLooseTokens(validAnswer(), 4);
    data.insert(u"data", QJsonObject{ { u"token_type"_s, u"JWT"_s } });
    QTest::newRow("nested object without access token is ignored") << data << std::optional(loose);

    data = withLooseTokens(validAnswer(), 4);
    data.insert(u"refresh_expires_at", 86400);
    QTest::newRow("a loose text of another kind counts as missing")
            << data << std::optional<LoginTokens>();
}

void TestSingleLoginResponse::choosesTokenSet()
{
    QFETCH(QJsonObject, data);
    QFETCH(std::optional<LoginTokens>, expected);

    QCOMPARE(SingleLoginResponse::fromJson(data).tokens(), expected);
}

void TestSingleLoginResponse::tellsAbsentCompaniesFromEmpty()
{
    QJsonObject data = validAnswer();
    data.remove(u"companies");
    QVERIFY(!SingleLoginResponse::fromJson(data).companies.has_value());

    data.insert(u"companies", QJsonValue::Null);
    QVERIFY(!SingleLoginResponse::fromJson(data).companies.has_value());

    data.insert(u"companies", QJsonArray());
    const auto companies = SingleLoginResponse::fromJson(data).companies;
    QVERIFY(companies.has_value());
    QVERIFY(companies->isEmpty());
}

void TestSingleLoginResponse::readsFlagsStrictlyOrLeniently_data()
{
    QTest::addColumn<QJsonValue>("otpRequired");
    QTest::addColumn<QJsonValue>("is2faActive");
    QTest::addColumn<std::optional<int>>("expectedOtp");
    QTest::addColumn<std::optional<bool>>("expected2fa");

    QTest::newRow("numbers") << QJsonValue(1) << QJsonValue(1) << std::optional(1)
                             << std::optional(true);
    QTest::newRow("otp_required as the text 1 is absent")
            << QJsonValue(u"1"_s) << QJsonValue(u" True "_s) << std::optional<int>()
            << std::optional(true);
    QTest::newRow("otp_required as a bool is absent")
            << QJsonValue(true) << QJsonValue(u"yes"_s) << std::optional<int>()
            << std::optional(false);
    QTest::newRow("nulls") << QJsonValue(QJsonValue::Null) << QJsonValue(QJsonValue::Null)
                           << std::optional<int>() << std::optional<bool>();
}

void TestSingleLoginResponse::readsFlagsStrictlyOrLeniently()
{
    QFETCH(QJsonValue, otpRequired);
    QFETCH(QJsonValue, is2faActive);
    QFETCH(std::optional<int>, expectedOtp);
    QFETCH(std::optional<bool>, expected2fa);

    QJsonObject data = validAnswer();
    data.insert(u"otp_required", otpRequired);
    data.insert(u"is_2fa_active", is2faActive);
    const SingleLoginResponse response = SingleLoginResponse::fromJson(data);

    QCOMPARE(response.otpRequired, expectedOtp);
    QCOMPARE(response.is2faActive, expected2fa);
}

void TestSingleLoginResponse::rejectsBadAnswers_data()
{
    QTest::addColumn<QJsonObject>("root");
    QTest::addColumn<QString>("message");

    const auto answerWith = [](QLatin1StringView key, const QJsonValue &value) {
        QJsonObject data = validAnswer();
        data.insert(key, value);
        return QJsonObject{ { u"data"_s, data } };
    };

    QTest::newRow("no data") << QJsonObject{ { u"success"_s, true } }
                             << u"Missing required field: data"_s;
    QTest::newRow("data as an array") << QJsonObject{ { u"data"_s, QJsonArray() } }
                                      << u"Field 'data' has wrong type, expected object"_s;
    QTest::newRow("user without e-mail") << answerWith("user"_L1, parsed(R"({"name":"Ann"})"))
                                         << u"Missing required field: email"_s;
    QTest::newRow("init without endpoint")
            << answerWith("init"_L1, QJsonObject()) << u"Missing required field: endpoint"_s;
    QTest::newRow("company without endpoint")
            << answerWith("companies"_L1, QJsonArray{ parsed(R"({"name":"Acme"})") })
            << u"Missing required field: endpoint"_s;

    QJsonObject tokens = nestedTokens;
    tokens.remove(u"token_type");
    QTest::newRow("nested set without token_type")
            << answerWith("data"_L1, tokens) << u"Missing required field: token_type"_s;
    tokens = nestedTokens;
    tokens.insert(u"access_token", QJsonValue::Null);
    QTest::newRow("nested access token null")
            << answerWith("data"_L1, tokens)
            << u"Field 'access_token' has wrong type, expected string"_s;

    QJsonObject root = answerWith("user"_L1, QJsonObject{ { u"email"_s, 5 } });
    QJsonObject data = root.value(u"data").toObject();
    data.insert(u"init", QJsonObject());
    root.insert(u"data", data);
    QTest::newRow("user named before init")
            << root << u"Field 'email' has wrong type, expected string"_s;
}

void TestSingleLoginResponse::rejectsBadAnswers()
{
    QFETCH(QJsonObject, root);
    QFETCH(QString, message);

    QCOMPARE(TestSupport::decodingFailureOf([&] { SingleLoginResponse::fromEnvelope(root); }),
             message);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSingleLoginResponse)
#include "tst_singleloginresponse.moc"
