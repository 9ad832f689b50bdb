#include "TestEnvironment.h"

#include "models/PasswordResetCodeCheckResponse.h"

#include <QJsonDocument>
#include <QTest>

using namespace Models;
using namespace Qt::StringLiterals;

class TestPasswordResetCodeCheckResponse : public QObject
{
    Q_OBJECT

private slots:
    void decodesLeniently_data();
    void decodesLeniently();
};

void TestPasswordResetCodeCheckResponse::decodesLeniently_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<std::optional<bool>>("valid");
    QTest::addColumn<std::optional<QString>>("email");

    QTest::newRow("valid code with e-mail")
            << QByteArray(R"({"data":{"valid":true,"email":"a@b.c"}})") << std::optional(true)
            << std::optional(u"a@b.c"_s);
    QTest::newRow("no data") << QByteArray(R"({"valid":true,"email":"a@b.c"})")
                             << std::optional<bool>() << std::optional<QString>();
    QTest::newRow("data of another kind") << QByteArray(R"({"data":[{"valid":true}]})")
                                          << std::optional<bool>() << std::optional<QString>();
    QTest::newRow("valid as the text TRUE") << QByteArray(R"({"data":{"valid":"TRUE"}})")
                                            << std::optional(true) << std::optional<QString>();
    QTest::newRow("empty e-mail is absent") << QByteArray(R"({"data":{"valid":0,"email":""}})")
                                            << std::optional(false) << std::optional<QString>();
    QTest::newRow("e-mail of another kind is absent")
            << QByteArray(R"({"data":{"valid":null,"email":42}})") << std::optional<bool>()
            << std::optional<QString>();
}

void TestPasswordResetCodeCheckResponse::decodesLeniently()
{
    QFETCH(QByteArray, answer);
    QFETCH(std::optional<bool>, valid);
    QFETCH(std::optional<QString>, email);

    const PasswordResetCodeCheckResponse response
            = PasswordResetCodeCheckResponse::fromJson(QJsonDocument::fromJson(answer).object());

    QCOMPARE(response.valid, valid);
    QCOMPARE(response.email, email);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestPasswordResetCodeCheckResponse)
#include "tst_passwordresetcodecheckresponse.moc"
