#include "TestEnvironment.h"

#include "LoginViewFixture.h"
#include "SignInPageFixture.h"
#include "networking/APIError.h"
#include "services/server/PasswordChangedButSignInFailed.h"
#include "ui/signin/LoginView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using Core::LoginPhase;
using Networking::APIError;
using SignInTest::child;
using UI::LoginView;

namespace {

const QString pageEmail = u"me@example.com"_s;
const QString passwordChanged
        = u"Your password was changed. Please sign in with your new password."_s;

APIError serverError(int status, const QString &serverMessage = QString())
{
    APIError error;
    error.kind = APIError::Kind::Server;
    error.httpStatus = status;
    error.message = u"HTTP %1"_s.arg(status);
    if (!serverMessage.isNull())
        error.serverMessage = serverMessage;
    return error;
}

Models::PasswordResetCodeCheckResponse checkAnswer(std::optional<bool> valid,
                                                   std::optional<QString> email)
{
    Models::PasswordResetCodeCheckResponse answer;
    answer.valid = valid;
    answer.email = std::move(email);
    return answer;
}

struct ViewUnderTest : SignInTest::LoginViewUnderTest
{
    ViewUnderTest()
    {
        fake.checkCodeAnswer = [] { return checkAnswer(true, std::nullopt); };
    }
    void openResetPage() { view->enterPhase(Core::LoginFlow::resetPasswordStep(pageEmail, false)); }
    void enterCode(const QString &code = u"123456"_s)
    {
        part<QLineEdit>(u"Reset_Input_0"_s)->insert(code);
    }
    // The new-password stage with a valid, confirmed password.
    void reachPasswordStage()
    {
        openResetPage();
        enterCode();
        QTRY_VERIFY(!part(u"Reset_PasswordStage"_s)->isHidden());
        part<QLineEdit>(u"Reset_NewPasswordField"_s)->setText(u"Abcde1"_s);
        part<QLineEdit>(u"Reset_ConfirmPasswordField"_s)->setText(u"Abcde1"_s);
    }
};

} // namespace

class TestLoginViewRecovery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showsRefusedSendCodeOnTheForgotPage();
    void opensResetPageAfterSendingCode();
    void confirmsResendInGreen();
    void checksResetCode_data();
    void checksResetCode();
    void routesFailedResetSubmit_data();
    void routesFailedResetSubmit();
    void signsInWithTheNewPassword();
    void preparesFormForSubmitAnsweredAfterBack();
};

void TestLoginViewRecovery::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
}

void TestLoginViewRecovery::showsRefusedSendCodeOnTheForgotPage()
{
    ViewUnderTest test;
    test.fake.recoveryAnswer = [] { throw serverError(422, u"nope"_s); };
    test.part<QLineEdit>(u"Login_EmailField"_s)->setText(pageEmail);
    QTest::mouseClick(test.part<QPushButton>(u"Login_ForgotLink"_s), Qt::LeftButton);
    QCOMPARE(test.view->phase(), LoginPhase::Forgot);
    QTest::mouseClick(test.part<QPushButton>(u"Forgot_SendButton"_s), Qt::LeftButton);
    QTRY_COMPARE(test.shown(u"Forgot_StatusLabel"_s), u"nope"_s);
    QVERIFY(test.part<QPushButton>(u"Forgot_SendButton"_s)->isEnabled());
    QCOMPARE(test.view->phase(), LoginPhase::Forgot);
    QCOMPARE(test.fake.recovery.arguments().first(), QStringList{ pageEmail });
}

void TestLoginViewRecovery::opensResetPageAfterSendingCode()
{
    ViewUnderTest test;
    Core::LoginFlow::Step forgot;
    forgot.phase = LoginPhase::Forgot;
    forgot.email = pageEmail;
    test.view->enterPhase(forgot);
    QTest::mouseClick(test.part<QPushButton>(u"Forgot_SendButton"_s), Qt::LeftButton);
    QTRY_COMPARE(test.view->phase(), LoginPhase::ResetPassword);
    QCOMPARE(test.part<QPushButton>(u"Reset_ResendButton"_s)->text(), u"Resend code (60s)"_s);
}

void TestLoginViewRecovery::confirmsResendInGreen()
{
    ViewUnderTest test;
    test.openResetPage();
    QTest::mouseClick(test.part<QPushButton>(u"Reset_ResendButton"_s), Qt::LeftButton);
    QTRY_COMPARE(test.shown(u"Reset_StatusLabel"_s),
                 u"We sent a new code. The previous one no longer works."_s);
    QCOMPARE(test.fake.recovery.arguments().first(), QStringList{ pageEmail });
}

void TestLoginViewRecovery::checksResetCode_data()
{
    using Answer = std::function<Models::PasswordResetCodeCheckResponse()>;
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("verifiedFor"); // empty: stays in the code stage
    QTest::addColumn<QString>("error");
    const QString expired = u"That code has expired. Use Resend to get a new one."_s;
    QTest::newRow("valid without e-mail")
            << Answer([] { return checkAnswer(true, std::nullopt); }) << pageEmail << QString();
    QTest::newRow("valid with e-mail")
            << Answer([] { return checkAnswer(true, u"owner@example.com"_s); })
            << u"owner@example.com"_s << QString();
    QTest::newRow("not valid") << Answer([] { return checkAnswer(false, std::nullopt); })
                               << QString() << expired;
    QTest::newRow("validity missing")
            << Answer([] { return checkAnswer(std::nullopt, pageEmail); }) << QString() << expired;
    QTest::newRow("wrong code") << Answer([]() -> Models::PasswordResetCodeCheckResponse {
        throw serverError(404);
    }) << QString() << u"That code isn't right. Check your email and try again."_s;
}

void TestLoginViewRecovery::checksResetCode()
{
    using Answer = std::function<Models::PasswordResetCodeCheckResponse()>;
    QFETCH(Answer, answer);
    QFETCH(QString, verifiedFor);
    QFETCH(QString, error);
    ViewUnderTest test;
    test.fake.checkCodeAnswer = answer;
    test.openResetPage();
    test.enterCode();
    QTRY_COMPARE(test.fake.checkCode.count(), 1);
    QThreadPool::globalInstance()->waitForDone();
    QTRY_COMPARE(test.part(u"Reset_PasswordStage"_s)->isHidden(), verifiedFor.isEmpty());
    QTRY_COMPARE(test.shown(u"Reset_ErrorLabel"_s), error);
    QCOMPARE(test.part<QLineEdit>(u"Reset_Input_0"_s)->isEnabled(), verifiedFor.isEmpty());
    if (!verifiedFor.isEmpty()) {
        const QList<QLabel *> labels = test.view->findChildren<QLabel *>();
        QVERIFY(std::any_of(labels.cbegin(), labels.cend(), [&](const QLabel *label) {
            return label->text()
                   == u"Code verified for %1. Choose a new password."_s.arg(verifiedFor);
        }));
    }
}

void TestLoginViewRecovery::routesFailedResetSubmit_data()
{
    using Answer = std::function<Models::SingleLoginResult()>;
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<LoginPhase>("phase");
    QTest::addColumn<bool>("codeStage");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("text");
    QTest::newRow("code no longer valid") << Answer([]() -> Models::SingleLoginResult {
        throw serverError(422, u"Invalid token"_s);
    }) << LoginPhase::ResetPassword << true
                                          << u"Reset_ErrorLabel"_s
                                          << u"That code is no longer valid. Use Resend to get a "
                                             u"new one."_s;
    QTest::newRow("password rejected")
            << Answer([]() -> Models::SingleLoginResult { throw serverError(422, u"Too weak"_s); })
            << LoginPhase::ResetPassword << false << u"Reset_ErrorLabel"_s << u"Too weak"_s;
    QTest::newRow("changed, sign-in failed") << Answer([]() -> Models::SingleLoginResult {
        throw Services::PasswordChangedButSignInFailed();
    }) << LoginPhase::Login << true << u"Login_ErrorLabel"_s
                                             << passwordChanged;
}

void TestLoginViewRecovery::routesFailedResetSubmit()
{
    using Answer = std::function<Models::SingleLoginResult()>;
    QFETCH(Answer, answer);
    QFETCH(LoginPhase, phase);
    QFETCH(bool, codeStage);
    QFETCH(QString, label);
    QFETCH(QString, text);
    ViewUnderTest test;
    test.fake.resetSubmitAnswer = answer;
    test.reachPasswordStage();
    QTest::mouseClick(test.part<QPushButton>(u"Reset_SaveButton"_s), Qt::LeftButton);
    QTRY_COMPARE(test.shown(label), text);
    QCOMPARE(test.view->phase(), phase);
    QCOMPARE(test.fake.resetSubmit.arguments().first(),
             (QStringList{ u"123456"_s, u"Abcde1"_s, pageEmail }));
    if (phase == LoginPhase::Login) {
        QCOMPARE(test.part<QLineEdit>(u"Login_EmailField"_s)->text(), pageEmail);
        QCOMPARE(test.part<QLineEdit>(u"Login_PasswordField"_s)->text(), QString());
    } else {
        QCOMPARE(test.part(u"Reset_PasswordStage"_s)->isHidden(), codeStage);
    }
}

void TestLoginViewRecovery::signsInWithTheNewPassword()
{
    ViewUnderTest test;
    test.fake.resetSubmitAnswer
            = [] { return Models::SingleLoginResult(Models::SingleLoginTwoFactorRequired{}); };
    test.reachPasswordStage();
    QTest::keyClick(test.part<QLineEdit>(u"Reset_ConfirmPasswordField"_s), Qt::Key_Return);
    QTRY_COMPARE(test.view->phase(), LoginPhase::TwoFactor);
}

void TestLoginViewRecovery::preparesFormForSubmitAnsweredAfterBack()
{
    ViewUnderTest test;
    test.fake.resetSubmit.hold();
    test.fake.resetSubmitAnswer = [] {
        Models::SingleLoginDirectConfig direct;
        direct.tokens.accessToken = u"stale-access"_s;
        return Models::SingleLoginResult(direct);
    };
    test.reachPasswordStage();
    QTest::mouseClick(test.part<QPushButton>(u"Reset_SaveButton"_s), Qt::LeftButton);
    QTest::mouseClick(test.part<QPushButton>(u"Reset_BackButton"_s), Qt::LeftButton);
    test.part<QLineEdit>(u"Login_PasswordField"_s)->setText(u"typed"_s);
    test.fake.resetSubmit.open();
    QTRY_COMPARE(test.shown(u"Login_ErrorLabel"_s), passwordChanged);
    QCOMPARE(test.fake.discarded.size(), 1);
    QCOMPARE(test.fake.discarded.first().accessToken, u"stale-access"_s);
    QCOMPARE(test.part<QLineEdit>(u"Login_EmailField"_s)->text(), pageEmail);
    QCOMPARE(test.part<QLineEdit>(u"Login_PasswordField"_s)->text(), QString());
    QCOMPARE(test.view->phase(), LoginPhase::Login);
    QVERIFY(test.fake.effects.isEmpty()); // not signed in

    // A stale plain failure leaves the form alone.
    test.part<QLabel>(u"Login_ErrorLabel"_s)->hide();
    test.fake.resetSubmitAnswer
            = []() -> Models::SingleLoginResult { throw serverError(422, u"Too weak"_s); };
    test.reachPasswordStage();
    QTest::mouseClick(test.part<QPushButton>(u"Reset_SaveButton"_s), Qt::LeftButton);
    test.view->goToPhase(LoginPhase::Login);
    test.fake.resetSubmit.open();
    QTRY_COMPARE(test.fake.resetSubmit.count(), 2);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCOMPARE(test.shown(u"Login_ErrorLabel"_s), QString());
}

CLOCKWARDEN_TEST_MAIN(TestLoginViewRecovery)
#include "tst_loginviewrecovery.moc"
