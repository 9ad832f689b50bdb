#include "TestEnvironment.h"

#include "models/JsonDecodingError.h"
#include "models/TokenResponse.h"

#include <QJsonDocument>
#include <QTest>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

QJsonObject parsed(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

// What the envelope decoder made of the answer: the access token, or the error message.
QString outcome(const QJsonObject &root)
{
    try {
        return u"token "_s + TokenResponse::fromEnvelope(root).accessToken;
    } catch (const JsonDecodingError &error) {
        return QString::fromUtf8(error.what());
    }
}

} // namespace

class TestTokenResponse : public QObject
{
    Q_OBJECT

private slots:
    void decodesCompleteAnswer();
    void leavesOptionalTextsAbsent();
    void decodesEnvelope_data();
    void decodesEnvelope();
};

void TestTokenResponse::decodesCompleteAnswer()
{
    const TokenResponse response = TokenResponse::fromEnvelope(
            parsed(R"({"data":{"access_token":"a","refresh_token":"r","token_type":"Bearer",)"
                   R"("expires_at":"2025-03-04 10:15:00","refresh_expires_at":"2025-04-03"}})"));

    QCOMPARE(response, (TokenResponse{ u"a"_s, u"r"_s, u"Bearer"_s, u"2025-03-04 10:15:00"_s,
                                       u"2025-04-03"_s }));
}

void TestTokenResponse::leavesOptionalTextsAbsent()
{
    const TokenResponse response = TokenResponse::fromJson(
            parsed(R"({"access_token":"a","refresh_token":null,"token_type":1,"expires_at":"e"})"));

    QCOMPARE(response, (TokenResponse{ u"a"_s, std::nullopt, std::nullopt, u"e"_s, std::nullopt }));
}

void TestTokenResponse::decodesEnvelope_data()
{
    QTest::addColumn<QJsonObject>("root");
    QTest::addColumn<QString>("expected");

    QTest::newRow("tokens in data")
            << parsed(R"({"data":{"access_token":"outer","expires_at":"e"}})") << u"token outer"_s;
    QTest::newRow("inner data wins when it decodes")
            << parsed(R"({"data":{"access_token":"outer","expires_at":"e",)"
                      R"("data":{"access_token":"inner","expires_at":"e"}}})")
            << u"token inner"_s;
    QTest::newRow("inner data without expires_at falls back to outer")
            << parsed(R"({"data":{"access_token":"outer","expires_at":"e",)"
                      R"("data":{"access_token":"inner"}}})")
            << u"token outer"_s;
    QTest::newRow("outer failure is the result when inner fails too")
            << parsed(R"({"data":{"expires_at":"e","data":{"access_token":"inner"}}})")
            << u"Missing required field: access_token"_s;
    QTest::newRow("inner data of another kind is ignored")
            << parsed(R"({"data":{"access_token":"outer","expires_at":"e","data":[1]}})")
            << u"token outer"_s;
    QTest::newRow("no data") << parsed(R"({"access_token":"a","expires_at":"e"})")
                             << u"Missing required field: data"_s;
    QTest::newRow("data as a text")
            << parsed(R"({"data":"x"})") << u"Field 'data' has wrong type, expected object"_s;
    QTest::newRow("access token named before expiry")
            << parsed(R"({"data":{"access_token":7}})")
            << u"Field 'access_token' has wrong type, expected string"_s;
}

void TestTokenResponse::decodesEnvelope()
{
    QFETCH(QJsonObject, root);
    QFETCH(QString, expected);

    QCOMPARE(outcome(root), expected);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestTokenResponse)
#include "tst_tokenresponse.moc"
