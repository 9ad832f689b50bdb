#include "TestEnvironment.h"

#include "storage/Preferences.h"
#include "ui/signin/LoginFlow.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Core::LoginFlow;
using Core::LoginPhase;
using Models::LoginCompany;

namespace {

QStringList namesOf(const QList<LoginCompany> &companies)
{
    QStringList names;
    for (const LoginCompany &company : companies)
        names.append(company.name);
    return names;
}

const QList<LoginCompany> threeCompanies = {
    { u"beta"_s, u"https://beta.example.com"_s },
    { u"Alpha"_s, u"https://alpha.example.com"_s },
    { u"alpha 2"_s, u"https://alpha2.example.com"_s },
};

Step makeStep(LoginPhase phase, const QString &email, const QString &displayEmail = {},
              std::optional<QString> token = std::nullopt)
{
    Step step;
    step.phase = phase;
    step.email = email;
    step.displayEmail = displayEmail;
    step.pendingToken = std::move(token);
    return step;
}

} // namespace

class TestLoginFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void ordersCompaniesIgnoringCaseAndMovesLastChosen_data();
    void ordersCompaniesIgnoringCaseAndMovesLastChosen();
    void buildsNextStepFromEachAnswer_data();
    void buildsNextStepFromEachAnswer();
    void keepsCompaniesAndNamesCompanyStep();
    void sendsFailedResetToItsTarget_data();
    void sendsFailedResetToItsTarget();
    void givesPendingTokenOnlyOfTwoFactorStep();
    void buildsResetStepAndPicksNonEmptyEmail();
    void keepsLastSelectedEndpoint_data();
    void keepsLastSelectedEndpoint();
};

void TestLoginFlow::initTestCase()
{
    // The collator follows the default locale; the C locale would compare code points.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestLoginFlow::ordersCompaniesIgnoringCaseAndMovesLastChosen_data()
{
    QTest::addColumn<bool>("hasLast");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QString>("preselected");
    QTest::newRow("no last endpoint")
            << false << QString() << QStringList{ u"Alpha"_s, u"alpha 2"_s, u"beta"_s }
            << QString();
    QTest::newRow("last company moves to front")
            << true << u"https://beta.example.com"_s
            << QStringList{ u"beta"_s, u"Alpha"_s, u"alpha 2"_s } << u"https://beta.example.com"_s;
    QTest::newRow("other letter case matches nothing")
            << true << u"https://BETA.example.com"_s
            << QStringList{ u"Alpha"_s, u"alpha 2"_s, u"beta"_s } << QString();
    QTest::newRow("trailing slash matches nothing")
            << true << u"https://beta.example.com/"_s
            << QStringList{ u"Alpha"_s, u"alpha 2"_s, u"beta"_s } << QString();
}

void TestLoginFlow::ordersCompaniesIgnoringCaseAndMovesLastChosen()
{
    QFETCH(bool, hasLast);
    QFETCH(QString, last);
    QFETCH(QStringList, order);
    QFETCH(QString, preselected);
    const OrderedCompanies ordered
            = orderCompanies(threeCompanies, hasLast ? std::optional(last) : std::nullopt);
    QCOMPARE(namesOf(ordered.companies), order);
    QCOMPARE(ordered.preselectedEndpoint.value_or(QString()), preselected);
    QCOMPARE(ordered.preselectedEndpoint.has_value(), !preselected.isEmpty());
}

void TestLoginFlow::buildsNextStepFromEachAnswer_data()
{
    QTest::addColumn<Models::SingleLoginResult>("answer");
    QTest::addColumn<bool>("hasStep");
    QTest::addColumn<Step>("step");
    const QString fallback = u"typed@example.com"_s;

    QTest::newRow("otp with e-mail")
            << Models::SingleLoginResult(
                       Models::SingleLoginOtpRequired{ u"srv@example.com"_s, u"user@x.io"_s })
            << true << makeStep(LoginPhase::Otp, u"srv@example.com"_s, u"user@x.io"_s);
    QTest::newRow("otp without e-mail takes fallback")
            << Models::SingleLoginResult(Models::SingleLoginOtpRequired{ {}, {} }) << true
            << makeStep(LoginPhase::Otp, fallback);
    QTest::newRow("direct has no step")
            << Models::SingleLoginResult(Models::SingleLoginDirectConfig{}) << false << Step();
    QTest::newRow("two-factor with token")
            << Models::SingleLoginResult(Models::SingleLoginTwoFactorRequired{
                       u"a@b.io"_s, u"shown@b.io"_s, u"pending"_s, u"ignored"_s })
            << true << makeStep(LoginPhase::TwoFactor, u"a@b.io"_s, u"shown@b.io"_s, u"pending"_s);
    QTest::newRow("two-factor without token or e-mail")
            << Models::SingleLoginResult(Models::SingleLoginTwoFactorRequired{}) << true
            << makeStep(LoginPhase::TwoFactor, fallback);
    Step company = makeStep(LoginPhase::CompanySelection, fallback);
    company.userName = fallback;
    QTest::newRow("company without user name")
            << Models::SingleLoginResult(Models::SingleLoginCompanySelection{}) << true << company;
}

void TestLoginFlow::buildsNextStepFromEachAnswer()
{
    QFETCH(Models::SingleLoginResult, answer);
    QFETCH(bool, hasStep);
    QFETCH(Step, step);
    const std::optional<Step> next = nextStep(answer, u"typed@example.com"_s);
    QCOMPARE(next.has_value(), hasStep);
    if (hasStep)
        QVERIFY(*next == step);
}

void TestLoginFlow::keepsCompaniesAndNamesCompanyStep()
{
    Models::SingleLoginCompanySelection answer;
    answer.companies = threeCompanies;
    answer.userName = u"Dana"_s;
    const std::optional<Step> next
            = nextStep(Models::SingleLoginResult(answer), u"typed@example.com"_s);
    QVERIFY(next.has_value());
    QCOMPARE(next->phase, LoginPhase::CompanySelection);
    QCOMPARE(namesOf(next->companies), namesOf(threeCompanies)); // the server's order
    QCOMPARE(next->userName, u"Dana"_s);
    QCOMPARE(next->email, u"typed@example.com"_s);
}

void TestLoginFlow::sendsFailedResetToItsTarget_data()
{
    using Kind = Core::AuthFailures::ResetSubmitKind;
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<ResetFailureTarget>("target");
    QTest::newRow("code invalid") << Kind::CodeInvalid << ResetFailureTarget::CodeStage;
    QTest::newRow("password changed, sign-in failed")
            << Kind::PasswordChangedSignInFailed << ResetFailureTarget::SignInForm;
    QTest::newRow("password rejected") << Kind::PasswordRejected << ResetFailureTarget::ResetPage;
    QTest::newRow("rate limited") << Kind::RateLimited << ResetFailureTarget::ResetPage;
    QTest::newRow("network") << Kind::Network << ResetFailureTarget::ResetPage;
    QTest::newRow("http") << Kind::Http << ResetFailureTarget::ResetPage;
}

void TestLoginFlow::sendsFailedResetToItsTarget()
{
    QFETCH(Core::AuthFailures::ResetSubmitKind, kind);
    QFETCH(ResetFailureTarget, target);
    QCOMPARE(resetFailureTarget(kind), target);
}

void TestLoginFlow::givesPendingTokenOnlyOfTwoFactorStep()
{
    QCOMPARE(pendingTokenOf(makeStep(LoginPhase::TwoFactor, {}, {}, u"t"_s)),
             std::optional<QString>(u"t"_s));
    QCOMPARE(pendingTokenOf(makeStep(LoginPhase::TwoFactor, {})), std::nullopt);
    QCOMPARE(pendingTokenOf(makeStep(LoginPhase::Otp, {}, {}, u"t"_s)), std::nullopt);
    QCOMPARE(pendingTokenOf(std::nullopt), std::nullopt);
}

void TestLoginFlow::buildsResetStepAndPicksNonEmptyEmail()
{
    Step expected;
    expected.phase = LoginPhase::ResetPassword;
    expected.email = u"me@x.io"_s;
    expected.codeJustSent = true;
    QVERIFY(resetPasswordStep(u"me@x.io"_s, true) == expected);

    QCOMPARE(nonEmptyOr(u"server@x.io"_s, u"mine@x.io"_s), u"server@x.io"_s);
    QCOMPARE(nonEmptyOr(u""_s, u"mine@x.io"_s), u"mine@x.io"_s);
    QCOMPARE(nonEmptyOr(std::nullopt, u"mine@x.io"_s), u"mine@x.io"_s);
}

void TestLoginFlow::keepsLastSelectedEndpoint_data()
{
    QTest::addColumn<QString>("saved");
    QTest::addColumn<bool>("present");
    QTest::newRow("endpoint kept unchanged") << u" https://a.example.com/ "_s << true;
    QTest::newRow("empty loads as none") << u""_s << false;
}

void TestLoginFlow::keepsLastSelectedEndpoint()
{
    QFETCH(QString, saved);
    QFETCH(bool, present);
    saveLastSelectedCompanyEndpoint(saved);
    QCOMPARE(Storage::Preferences::instance().value(u"lastSelectedCompanyEndpoint"_s).toString(),
             saved);
    QCOMPARE(lastSelectedCompanyEndpoint(),
             present ? std::optional<QString>(saved) : std::optional<QString>());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestLoginFlow)
#include "tst_loginflow.moc"
