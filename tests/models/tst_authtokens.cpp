#include "DecodingFailure.h"
#include "TestEnvironment.h"

#include "models/AuthTokens.h"
#include "models/JsonDecodingError.h"

#include <QTest>
#include <QTimeZone>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

QJsonObject validRecord()
{
    return QJsonObject{
        { u"accessToken"_s, u"a"_s },
        { u"refreshToken"_s, u"r"_s },
        { u"expiresAt"_s, u"2025-03-04T03:15:00.000Z"_s },
        { u"refreshExpiresAt"_s, u"2025-04-03T03:15:00.000Z"_s },
        { u"expiresAtRaw"_s, u"2025-03-04 10:15"_s },
        { u"refreshExpiresAtRaw"_s, u"2025-04-03 10:15"_s },
    };
}

} // namespace

class TestAuthTokens : public QObject
{
    Q_OBJECT

private slots:
    void roundTripsInUtcWithMilliseconds();
    void decodesUnparsableDateAsInvalid();
    void rejectsBadRecords_data();
    void rejectsBadRecords();
};

void TestAuthTokens::roundTripsInUtcWithMilliseconds()
{
    const QTimeZone plusSeven(7 * 3600);
    AuthTokens tokens;
    tokens.accessToken = u"access"_s;
    tokens.refreshToken = u"refresh"_s;
    tokens.expiresAt = QDateTime(QDate(2025, 3, 4), QTime(10, 15, 0, 250), plusSeven);
    tokens.refreshExpiresAt = QDateTime(QDate(2025, 4, 3), QTime(1, 2, 3), Qt::LocalTime);
    tokens.expiresAtRaw = u"2025-03-04 10:15:00.25"_s;
    tokens.refreshExpiresAtRaw = u"whenever"_s;

    const QJsonObject json = tokens.toJson();

    QCOMPARE(json.size(), 6);
    QCOMPARE(json.value(u"expiresAt").toString(), u"2025-03-04T03:15:00.250Z"_s);
    QCOMPARE(json.value(u"refreshExpiresAt").toString(),
             tokens.refreshExpiresAt.toUTC().toString(Qt::ISODateWithMs));
    QVERIFY(json.value(u"refreshExpiresAt").toString().endsWith(u'Z'));
    QCOMPARE(json.value(u"expiresAtRaw").toString(), tokens.expiresAtRaw);

    const AuthTokens decoded = AuthTokens::fromJson(json);
    QCOMPARE(decoded, tokens);
    QCOMPARE(decoded.expiresAt.timeSpec(), Qt::UTC);
}

void TestAuthTokens::decodesUnparsableDateAsInvalid()
{
    QJsonObject json = validRecord();
    json.insert(u"expiresAt", u"tomorrow"_s);

    const AuthTokens tokens = AuthTokens::fromJson(json);

    QVERIFY(!tokens.expiresAt.isValid());
    QCOMPARE(tokens.refreshExpiresAt, QDateTime(QDate(2025, 4, 3), QTime(3, 15), Qt::UTC));
}

void TestAuthTokens::rejectsBadRecords_data()
{
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<QString>("message");

    QJsonObject json = validRecord();
    json.remove(u"expiresAtRaw");
    QTest::newRow("missing expiresAtRaw") << json << u"Missing required field: expiresAtRaw"_s;

    json = validRecord();
    json.insert(u"refreshToken", QJsonValue::Null);
    QTest::newRow("null refresh token")
            << json << u"Field 'refreshToken' has wrong type, expected string"_s;

    json = validRecord();
    json.insert(u"expiresAt", 1741058100);
    json.remove(u"accessToken");
    QTest::newRow("first bad field in order is named")
            << json << u"Missing required field: accessToken"_s;

    json = validRecord();
    json.remove(u"refreshExpiresAtRaw");
    json.insert(u"refreshExpiresAt", 0);
    QTest::newRow("date of another kind named before raw text")
            << json << u"Field 'refreshExpiresAt' has wrong type, expected string"_s;
}

void TestAuthTokens::rejectsBadRecords()
{
    QFETCH(QJsonObject, json);
    QFETCH(QString, message);

    QCOMPARE(TestSupport::decodingFailureOf([&] { AuthTokens::fromJson(json); }), message);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAuthTokens)
#include "tst_authtokens.moc"
