#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace TestSupport {

// What the stand-in answers when no fault intervenes. Plain value: read it with
// FakeHrServer::scenario, change it with FakeHrServer::updateScenario. Texts may hold "{origin}",
// which the stand-in replaces by its own origin ("http://127.0.0.1:PORT") in every answer, so
// company endpoints and image addresses lead back to it.
struct FakeHrScenario
{
    // How "authentication/singleLogin" answers correct credentials.
    enum class SignIn {
        DirectNested,     // signed in; tokens as a complete set under "data" inside "data"
        DirectLoose,      // signed in; tokens as four loose keys beside the other fields
        CompanySelection, // tokens plus "companies" and no "init": the user must choose
        EmailCode, // "otp_required": 1; the next sign-in with "is_otp": 1 and the code signs in
        TwoFactor, // "is_2fa_active": true with a pending token; "tfa/verify" then signs in
    };

    struct Company
    {
        QString name;
        QString endpoint;
    };

    SignIn signIn = SignIn::DirectNested;
    QString email = QStringLiteral("ada@example.com");  // compared case-insensitively
    QString password = QStringLiteral("correct horse"); // replaced by a password reset
    QString userName = QStringLiteral("Ada Lovelace");
    QString emailCode = QStringLiteral("123456");
    QString twoFactorCode = QStringLiteral("654321");
    QString twoFactorRecoveryCode = QStringLiteral("ABCD-EFGH-2345");
    QString passwordResetCode = QStringLiteral("246810");
    bool includeInit = true; // direct sign-ins carry "init" with `companyEndpoint`
    QString companyEndpoint = QStringLiteral("{origin}");
    QList<Company> companies{ { QStringLiteral("Acme Works"), QStringLiteral("{origin}/acme") },
                              { QStringLiteral("Globex"), QStringLiteral("{origin}/globex") } };
    bool twoFactorStillRequired = false; // "tfa/verify" asks for the second factor again

    bool refreshNested = false; // the refresh answer nests the tokens in "data" inside "data"
    bool refreshOmitsRefreshToken = false; // ... and leaves out the refresh token and its expiry
    int accessTokenLifetimeSeconds = 3600;
    int refreshTokenLifetimeSeconds = 2592000;

    QJsonObject configuration = defaultConfiguration(); // the "data" of the configuration answer
    int todayTotalSeconds = 0; // the server's own count; heartbeats add their sessions' totals
    QString todayDate;         // empty: today in the configuration's "app_timezone"
    std::optional<QList<int>> acceptedSegmentIndices; // absent: every segment of a batch
    QJsonObject screenshotReport; // empty: a canned report of one hour with two segments
    // With no scripted report: build each day's report from what was uploaded (pictures,
    // heartbeat intervals, segment activity) instead of the canned one. The demo's choice.
    bool reportFromUploads = false;

    static QJsonObject defaultConfiguration();
    static QString signInName(SignIn signIn);
    static std::optional<SignIn> signInFromName(const QString &name);

    // Changes the fields present in `object` (keys as the member names, "signIn" as
    // "directNested", "emailCode", ...). Throws std::invalid_argument on an unknown sign-in name.
    void applyJson(const QJsonObject &object);
    QJsonObject toJson() const;
};

} // namespace TestSupport
