#include "TestEnvironment.h"

#include "ui/signin/AuthFailures.h"

#include <QCoreApplication>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Core::AuthFailures;
using Networking::APIError;

namespace {

// status -1 = none; a null message = no server message.
APIError makeError(APIError::Kind kind, int status, const QString &serverMessage)
{
    APIError error;
    error.kind = kind;
    if (status >= 0)
        error.httpStatus = status;
    if (!serverMessage.isNull())
        error.serverMessage = serverMessage;
    error.message = u"detail"_s;
    return error;
}

void addColumns()
{
    QTest::addColumn<APIError::Kind>("errorKind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("serverMessage");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
}

const QString none;

} // namespace

class TestAuthFailures : public QObject
{
    Q_OBJECT

private slots:
    void mapsSendCodeFailures_data();
    void mapsSendCodeFailures();
    void mapsTwoFactorFailures_data();
    void mapsTwoFactorFailures();
    void mapsCodeCheckFailures_data();
    void mapsCodeCheckFailures();
    void mapsResetSubmitFailures_data();
    void mapsResetSubmitFailures();
    void detectsInvalidTokenMessages_data();
    void detectsInvalidTokenMessages();
    void picksTwoFactorRejectedText_data();
    void picksTwoFactorRejectedText();
};

void TestAuthFailures::mapsSendCodeFailures_data()
{
    addColumns();
    const auto S = APIError::Kind::Server;
    QTest::newRow("network beats status and message")
            << APIError::Kind::Network << 429 << u"slow"_s << 3 << networkText;
    QTest::newRow("no status") << S << -1 << u"x"_s << 2 << unexpectedResponseText;
    QTest::newRow("status 0 as none") << S << 0 << none << 2 << unexpectedResponseText;
    QTest::newRow("400 server message")
            << S << 400 << u"Unknown e-mail"_s << 0 << u"Unknown e-mail"_s;
    QTest::newRow("422 without message")
            << S << 422 << none << 0 << u"We couldn't find that email address."_s;
    QTest::newRow("429 message verbatim with spaces")
            << S << 429 << u"  wait  "_s << 1 << u"  wait  "_s;
    QTest::newRow("429 empty message")
            << S << 429 << u""_s << 1
            << u"Too many requests. Please wait a minute and try again."_s;
    QTest::newRow("500") << S << 500 << u"boom"_s << 4
                         << u"Couldn't send the code (HTTP 500). Please try again."_s;
    QTest::newRow("unauthorized 401") << APIError::Kind::Unauthorized << 401 << none << 4
                                      << u"Couldn't send the code (HTTP 401). Please try again."_s;
}

void TestAuthFailures::mapsSendCodeFailures()
{
    QFETCH(APIError::Kind, errorKind);
    QFETCH(int, status);
    QFETCH(QString, serverMessage);
    QFETCH(int, kind);
    QFETCH(QString, message);
    const auto failure = forSendCode(makeError(errorKind, status, serverMessage));
    QCOMPARE(int(failure.kind), kind);
    QCOMPARE(failure.message, message);
}

void TestAuthFailures::mapsTwoFactorFailures_data()
{
    addColumns();
    const auto S = APIError::Kind::Server;
    QTest::newRow("decoding") << APIError::Kind::Decoding << 200 << none << 3
                              << u"Unrecognized server response. Please try again."_s;
    QTest::newRow("network") << APIError::Kind::Network << 400 << u"x"_s << 4 << networkText;
    QTest::newRow("unauthorized whatever status")
            << APIError::Kind::Unauthorized << 403 << none << 2
            << u"This account can't be verified from the desktop app."_s;
    QTest::newRow("unauthorized with message")
            << APIError::Kind::Unauthorized << 401 << u"No desktop"_s << 2 << u"No desktop"_s;
    QTest::newRow("400 invalid code")
            << S << 400 << none << 0
            << u"That code didn't work. Check your authenticator app and try again."_s;
    QTest::newRow("422 server message") << S << 422 << u"Bad code"_s << 0 << u"Bad code"_s;
    QTest::newRow("429") << S << 429 << none << 1
                         << u"Too many attempts. Please wait a few minutes and try again."_s;
    QTest::newRow("503") << S << 503 << none << 5
                         << u"The server rejected the request (HTTP 503)."_s;
    // Decided: no "(HTTP 0)" for an error that never got an answer.
    QTest::newRow("invalid url, no status")
            << APIError::Kind::InvalidUrl << -1 << none << 5 << unexpectedResponseText;
    QTest::newRow("server status 0") << S << 0 << none << 5 << unexpectedResponseText;
}

void TestAuthFailures::mapsTwoFactorFailures()
{
    QFETCH(APIError::Kind, errorKind);
    QFETCH(int, status);
    QFETCH(QString, serverMessage);
    QFETCH(int, kind);
    QFETCH(QString, message);
    const auto failure = forTwoFactor(makeError(errorKind, status, serverMessage));
    QCOMPARE(int(failure.kind), kind);
    QCOMPARE(failure.message, message);
}

void TestAuthFailures::mapsCodeCheckFailures_data()
{
    addColumns();
    const auto S = APIError::Kind::Server;
    QTest::newRow("network") << APIError::Kind::Network << -1 << none << 4 << networkText;
    QTest::newRow("no status") << S << -1 << none << 3 << unexpectedResponseText;
    QTest::newRow("status 0") << S << 0 << u"x"_s << 3 << unexpectedResponseText;
    QTest::newRow("404 ignores server message")
            << S << 404 << u"nope"_s << 1
            << u"That code isn't right. Check your email and try again."_s;
    QTest::newRow("429 message") << S << 429 << u"slow"_s << 2 << u"slow"_s;
    QTest::newRow("429 empty message")
            << S << 429 << u""_s << 2
            << u"Too many attempts. Please wait a minute and try again."_s;
    QTest::newRow("400 is http") << S << 400 << u"bad"_s << 5
                                 << u"Couldn't check the code (HTTP 400). Please try again."_s;
    QTest::newRow("422 is http") << S << 422 << none << 5
                                 << u"Couldn't check the code (HTTP 422). Please try again."_s;
}

void TestAuthFailures::mapsCodeCheckFailures()
{
    QFETCH(APIError::Kind, errorKind);
    QFETCH(int, status);
    QFETCH(QString, serverMessage);
    QFETCH(int, kind);
    QFETCH(QString, message);
    const auto failure = forCodeCheck(makeError(errorKind, status, serverMessage));
    QCOMPARE(int(failure.kind), kind);
    QCOMPARE(failure.message, message);
}

void TestAuthFailures::mapsResetSubmitFailures_data()
{
    addColumns();
    const auto S = APIError::Kind::Server;
    const QString noLonger = u"That code is no longer valid. Use Resend to get a new one."_s;
    QTest::newRow("network") << APIError::Kind::Network << 422 << u"Token invalid"_s << 5
                             << networkText;
    QTest::newRow("no status") << S << -1 << none << 4 << unexpectedResponseText;
    QTest::newRow("status 0") << S << 0 << none << 4 << unexpectedResponseText;
    QTest::newRow("422 invalid token any case")
            << S << 422 << u"INVALID reset TOKEN"_s << 0 << noLonger;
    QTest::newRow("400 token invalid") << S << 400 << u"token is invalid"_s << 0 << noLonger;
    QTest::newRow("422 other message") << S << 422 << u"Too weak"_s << 1 << u"Too weak"_s;
    QTest::newRow("404 without message")
            << S << 404 << none << 1 << u"That password was rejected. Please choose another."_s;
    QTest::newRow("429") << S << 429 << none << 2
                         << u"Too many attempts. Please wait a minute and try again."_s;
    QTest::newRow("500") << S << 500 << u"token invalid"_s << 6
                         << u"Couldn't set the password (HTTP 500). Please try again."_s;
}

void TestAuthFailures::mapsResetSubmitFailures()
{
    QFETCH(APIError::Kind, errorKind);
    QFETCH(int, status);
    QFETCH(QString, serverMessage);
    QFETCH(int, kind);
    QFETCH(QString, message);
    const auto failure = forResetSubmit(makeError(errorKind, status, serverMessage));
    QCOMPARE(int(failure.kind), kind);
    QCOMPARE(failure.message, message);
}

void TestAuthFailures::detectsInvalidTokenMessages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("mentions");
    QTest::newRow("both, reversed") << u"Invalid token"_s << true;
    QTest::newRow("inside words") << u"TOKENS are INVALIDATED"_s << true;
    QTest::newRow("token only") << u"token expired"_s << false;
    QTest::newRow("invalid only") << u"invalid password"_s << false;
    QTest::newRow("empty") << u""_s << false;
}

void TestAuthFailures::detectsInvalidTokenMessages()
{
    QFETCH(QString, text);
    QFETCH(bool, mentions);
    QCOMPARE(mentionsInvalidToken(text), mentions);
}

void TestAuthFailures::picksTwoFactorRejectedText_data()
{
    const QString fixed = u"That code didn't work. Check your authenticator app and try again."_s;
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << false << QString() << fixed;
    QTest::newRow("only spaces") << true << u"   "_s << fixed;
    QTest::newRow("trimmed") << true << u"  Try again  "_s << u"Try again"_s;
}

void TestAuthFailures::picksTwoFactorRejectedText()
{
    QFETCH(bool, present);
    QFETCH(QString, message);
    QFETCH(QString, text);
    const std::optional<QString> given = present ? std::optional(message) : std::nullopt;
    QCOMPARE(twoFactorRejectedText(given), text);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAuthFailures)
#include "tst_authfailures.moc"
