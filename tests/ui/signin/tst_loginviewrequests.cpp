#include "TestEnvironment.h"

#include "LoginViewFixture.h"
#include "SignInPageFixture.h"
#include "networking/APIError.h"
#include "ui/signin/LoginView.h"
#include "ui/signin/OTPVerificationView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;
using Core::LoginPhase;
using Networking::APIError;
using SignInTest::child;
using UI::LoginView;

namespace {

APIError errorOf(APIError::Kind kind, int status, const QString &message)
{
    APIError error;
    error.kind = kind;
    if (status >= 0)
        error.httpStatus = status;
    error.message = message;
    return error;
}

Models::AuthTokens tokensNamed(const QString &access)
{
    Models::AuthTokens tokens;
    tokens.accessToken = access;
    tokens.refreshToken = access + u"-refresh"_s;
    return tokens;
}

struct ViewUnderTest : SignInTest::LoginViewUnderTest
{
    QLabel *label(const QString &name) const { return part<QLabel>(name); }
    QLineEdit *box(const QString &prefix, int i) const
    {
        return part<QLineEdit>(u"%1_%2"_s.arg(prefix).arg(i));
    }
    void fillForm() { LoginViewUnderTest::fillForm(u"user@example.com"_s, u"secret"_s); }
    void enterCodePage(LoginPhase phase)
    {
        Core::LoginFlow::Step step;
        step.phase = phase;
        step.email = u"user@example.com"_s;
        step.pendingToken = u"pending-1"_s;
        view->enterPhase(step);
    }
};

} // namespace

class TestLoginViewRequests : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusedFormMakesNoCall();
    void returnWhilePendingSendsOneRequest();
    void showsSignInFailureTexts_data();
    void showsSignInFailureTexts();
    void errorsKeepTheFormInPlace();
    void settlesBeforeTheResultHandler();
    void answersEmailCode_data();
    void answersEmailCode();
    void reportsFailedResendOnly();
    void repeatedTwoFactorDemandClearsInput();
    void passesPendingTokenAndEmail();
    void discardsSignInAnsweredAfterBack();
    void reportsUnexpectedFailureOnlyOnItsPage();
    void deletedViewGetsNoResult();
};

void TestLoginViewRequests::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
}

void TestLoginViewRequests::refusedFormMakesNoCall()
{
    ViewUnderTest test;
    test.email()->setText(u"user@example"_s);
    test.password()->setText(u"secret"_s);
    QTest::keyClick(test.password(), Qt::Key_Return);
    SignInTest::LoginViewUnderTest::settle();
    QCOMPARE(test.fake.login.count(), 0);
    QCOMPARE(test.shown(u"Login_ErrorLabel"_s), u"Invalid email format."_s);
    QVERIFY(test.submit()->isEnabled());
}

void TestLoginViewRequests::returnWhilePendingSendsOneRequest()
{
    ViewUnderTest test;
    test.fake.login.hold();
    test.fake.loginAnswer = []() -> Models::SingleLoginResult {
        throw errorOf(APIError::Kind::Unauthorized, 401, u"HTTP 401"_s);
    };
    test.fillForm();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(test.password(), Qt::Key_Return);
    QVERIFY(!test.submit()->isEnabled());
    test.fake.login.open();
    QTRY_COMPARE(test.shown(u"Login_ErrorLabel"_s), u"Incorrect email or password."_s);
    QCOMPARE(test.fake.login.count(), 1);
    QCOMPARE(test.fake.login.arguments().first(),
             (QStringList{ u"user@example.com"_s, u"secret"_s }));
    QVERIFY(test.submit()->isEnabled());
}

void TestLoginViewRequests::showsSignInFailureTexts_data()
{
    QTest::addColumn<APIError>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("401") << errorOf(APIError::Kind::Unauthorized, 401, u"HTTP 401"_s)
                         << u"Incorrect email or password."_s;
    QTest::newRow("422 with detail")
            << errorOf(APIError::Kind::Server, 422, u"HTTP 422: x"_s)
            << u"The server rejected the request (HTTP 422).\nHTTP 422: x"_s;
    QTest::newRow("server without status, blank detail")
            << errorOf(APIError::Kind::Server, -1, u"   "_s)
            << u"The server rejected the request (HTTP 0)."_s;
    QTest::newRow("network without detail")
            << errorOf(APIError::Kind::Network, -1, QString())
            << u"Can't reach the server. Check your internet connection."_s;
    QTest::newRow("undecodable") << errorOf(APIError::Kind::Decoding, -1, u" bad json "_s)
                                 << u"Unrecognized server response.\n(bad json)"_s;
    QTest::newRow("server message is literal text")
            << errorOf(APIError::Kind::Server, 500, u"<b>down</b>"_s)
            << u"The server rejected the request (HTTP 500).\n<b>down</b>"_s;
    QTest::newRow("company address without https")
            << Networking::APIError::insecureEndpoint()
            << u"The company's server address is not secure, so sign-in was stopped. Please "
               u"contact your administrator."_s;
}

void TestLoginViewRequests::showsSignInFailureTexts()
{
    QFETCH(APIError, error);
    QFETCH(QString, text);
    ViewUnderTest test;
    test.fake.loginAnswer = [error]() -> Models::SingleLoginResult { throw error; };
    test.fillForm();
    QTest::mouseClick(test.submit(), Qt::LeftButton);
    QTRY_COMPARE(test.shown(u"Login_ErrorLabel"_s), text);
    QCOMPARE(test.label(u"Login_ErrorLabel"_s)->textFormat(), Qt::PlainText);
    QVERIFY(test.submit()->isEnabled());
}

void TestLoginViewRequests::errorsKeepTheFormInPlace()
{
    ViewUnderTest test;
    const auto buttonRect = [&test] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return QRect(test.submit()->mapTo(test.view.get(), QPoint()), test.submit()->size());
    };
    const QRect before = buttonRect();
    // A one-line message takes the room kept for it: the button does not move.
    test.email()->setText(u"user@example"_s);
    test.password()->setText(u"secret"_s);
    QTest::keyClick(test.password(), Qt::Key_Return);
    QCOMPARE(test.shown(u"Login_ErrorLabel"_s), u"Invalid email format."_s);
    QCOMPARE(buttonRect(), before);

    // A long unbroken detail wraps inside the 460 px page; the button stays in view.
    const QString detail = QString(200, u'x');
    test.fake.loginAnswer = [detail]() -> Models::SingleLoginResult {
        throw errorOf(APIError::Kind::Server, 500, detail);
    };
    test.fillForm();
    QTest::mouseClick(test.submit(), Qt::LeftButton);
    const auto *label = test.label(u"Login_ErrorLabel"_s);
    QTRY_VERIFY(test.shown(u"Login_ErrorLabel"_s).remove(QChar(0x200B)).endsWith(detail));
    QCOMPARE(test.view->width(), 460);
    QVERIFY(test.view->minimumSizeHint().width() <= 460);
    const QRect labelRect(label->mapTo(test.view.get(), QPoint()), label->size());
    QVERIFY2(labelRect.right() < 460, qPrintable(QString::number(labelRect.right())));
    const QRect button = buttonRect();
    QVERIFY(test.view->rect().contains(button));
}

void TestLoginViewRequests::settlesBeforeTheResultHandler()
{
    ViewUnderTest test;
    test.fake.loginAnswer = [] {
        return Models::SingleLoginResult(Models::SingleLoginOtpRequired{ {}, u"shown@x.io"_s });
    };
    auto *forgot = child<QPushButton>(test.view.get(), u"Login_ForgotLink"_s);
    std::optional<bool> forgotEnabledAtHandler;
    QObject::connect(test.view.get(), &LoginView::phaseChanged, test.view.get(),
                     [&] { forgotEnabledAtHandler = forgot->isEnabled(); });
    test.fillForm();
    QTest::mouseClick(test.submit(), Qt::LeftButton);
    QVERIFY(!forgot->isEnabled());
    QTRY_COMPARE(test.view->phase(), LoginPhase::Otp);
    QCOMPARE(forgotEnabledAtHandler, std::optional<bool>(true));
}

void TestLoginViewRequests::answersEmailCode_data()
{
    using Answer = std::function<Models::SingleLoginResult()>;
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("cleared");
    QTest::newRow("400 rejects the code") << Answer([]() -> Models::SingleLoginResult {
        throw errorOf(APIError::Kind::Server, 400, u"HTTP 400: bad"_s);
    }) << u"Verification failed. Check the code and try again."_s
                                          << true;
    QTest::newRow("429 keeps the digits") << Answer([]() -> Models::SingleLoginResult {
        throw errorOf(APIError::Kind::Server, 429, u"HTTP 429: slow"_s);
    }) << u"Verification could not be completed. Please try again."_s
                                          << false;
    QTest::newRow("unreachable") << Answer([]() -> Models::SingleLoginResult {
        throw errorOf(APIError::Kind::Network, -1, u"refused"_s);
    }) << u"Can't reach the server. Check your connection and try again."_s
                                 << false;
    QTest::newRow("asked for a code again")
            << Answer([] { return Models::SingleLoginResult(Models::SingleLoginOtpRequired{}); })
            << u"Invalid OTP code. Please try again."_s << true;
}

void TestLoginViewRequests::answersEmailCode()
{
    using Answer = std::function<Models::SingleLoginResult()>;
    QFETCH(Answer, answer);
    QFETCH(QString, text);
    QFETCH(bool, cleared);
    ViewUnderTest test;
    test.fake.otpAnswer = answer;
    test.enterCodePage(LoginPhase::Otp);
    test.box(u"OTP_Input"_s, 0)->insert(u"123456"_s);
    QTest::mouseClick(child<QPushButton>(test.view.get(), u"OTP_SubmitButton"_s), Qt::LeftButton);
    QTRY_COMPARE(test.shown(u"OTP_ErrorLabel"_s), text);
    QCOMPARE(test.box(u"OTP_Input"_s, 5)->text(), cleared ? QString() : u"6"_s);
    QCOMPARE(test.fake.otp.arguments().first(),
             (QStringList{ u"user@example.com"_s, u"123456"_s }));
    QVERIFY(test.box(u"OTP_Input"_s, 0)->isEnabled());
}

void TestLoginViewRequests::reportsFailedResendOnly()
{
    ViewUnderTest test;
    test.enterCodePage(LoginPhase::Otp);
    auto *resend = child<QPushButton>(test.view.get(), u"OTP_ResendButton"_s);
    test.view->findChild<UI::OTPVerificationView *>()->reset();
    QTest::mouseClick(resend, Qt::LeftButton);
    SignInTest::LoginViewUnderTest::settle();
    QCOMPARE(test.fake.generateOtp.count(), 1);
    QCOMPARE(test.shown(u"OTP_ErrorLabel"_s), QString());

    test.view->findChild<UI::OTPVerificationView *>()->reset();
    test.fake.generateOtpAnswer = [] { throw errorOf(APIError::Kind::Server, 500, u"x"_s); };
    QTest::mouseClick(resend, Qt::LeftButton);
    QTRY_COMPARE(test.shown(u"OTP_ErrorLabel"_s), u"Failed to resend the code."_s);
}

void TestLoginViewRequests::repeatedTwoFactorDemandClearsInput()
{
    ViewUnderTest test;
    test.fake.twoFactorAnswer = [] {
        Models::SingleLoginTwoFactorRequired again;
        again.pendingToken = u"pending-2"_s;
        return Models::SingleLoginResult(again);
    };
    test.enterCodePage(LoginPhase::TwoFactor);
    test.box(u"TwoFactor_Input"_s, 0)->insert(u"654321"_s);
    QTRY_COMPARE(test.shown(u"TwoFactor_ErrorLabel"_s),
                 u"That code didn't work. Check your authenticator app and try again."_s);
    QCOMPARE(test.box(u"TwoFactor_Input"_s, 0)->text(), QString());
    QCOMPARE(child<QPushButton>(test.view.get(), u"TwoFactor_VerifyButton"_s)->text(),
             u"Verify Code"_s);
}

void TestLoginViewRequests::passesPendingTokenAndEmail()
{
    ViewUnderTest test;
    test.fake.twoFactorAnswer = []() -> Models::SingleLoginResult {
        throw errorOf(APIError::Kind::Server, 503, u"HTTP 503: x"_s);
    };
    test.enterCodePage(LoginPhase::TwoFactor);
    test.box(u"TwoFactor_Input"_s, 0)->insert(u"654321"_s);
    QTRY_COMPARE(test.shown(u"TwoFactor_ErrorLabel"_s),
                 u"The server rejected the request (HTTP 503)."_s);
    QCOMPARE(test.fake.twoFactor.arguments().first(),
             (QStringList{ u"user@example.com"_s, u"654321"_s, u"pending-1"_s }));
    QCOMPARE(test.box(u"TwoFactor_Input"_s, 5)->text(), u"1"_s); // kept for a retry
}

void TestLoginViewRequests::discardsSignInAnsweredAfterBack()
{
    ViewUnderTest test;
    test.fake.otp.hold();
    test.fake.otpAnswer = [] {
        Models::SingleLoginCompanySelection answer;
        answer.companies = { { u"Acme"_s, u"https://acme.example.com"_s } };
        answer.tokens = tokensNamed(u"walked-away"_s);
        return Models::SingleLoginResult(answer);
    };
    test.enterCodePage(LoginPhase::Otp);
    test.box(u"OTP_Input"_s, 0)->insert(u"123456"_s);
    QTest::mouseClick(child<QPushButton>(test.view.get(), u"OTP_SubmitButton"_s), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(test.view.get(), u"OTP_BackButton"_s), Qt::LeftButton);
    QCOMPARE(test.view->phase(), LoginPhase::Login);

    test.fake.otp.open();
    QTRY_COMPARE(test.fake.discarded.size(), 1);
    QCOMPARE(test.fake.discarded.first().accessToken, u"walked-away"_s);
    QCOMPARE(test.view->phase(), LoginPhase::Login);
    QCOMPARE(test.current(), child<QWidget>(test.view.get(), u"Login_FormRoot"_s));
}

void TestLoginViewRequests::reportsUnexpectedFailureOnlyOnItsPage()
{
    ViewUnderTest test;
    test.fake.otpAnswer = []() -> Models::SingleLoginResult { throw std::runtime_error("boom"); };
    test.enterCodePage(LoginPhase::Otp);
    QTest::ignoreMessage(QtWarningMsg, "Unexpected failure in a login-screen request - boom");
    test.box(u"OTP_Input"_s, 0)->insert(u"123456"_s);
    QTest::mouseClick(child<QPushButton>(test.view.get(), u"OTP_SubmitButton"_s), Qt::LeftButton);
    QTRY_COMPARE(test.shown(u"OTP_ErrorLabel"_s), u"Something went wrong. Please try again."_s);
    QCOMPARE(child<QPushButton>(test.view.get(), u"OTP_SubmitButton"_s)->text(), u"Verify Code"_s);

    // Once the user has left the page, only the warning remains.
    test.fake.otp.hold();
    test.view->enterPhase(Core::LoginFlow::resetPasswordStep(u"user@example.com"_s, false));
    test.enterCodePage(LoginPhase::Otp);
    test.box(u"OTP_Input"_s, 0)->insert(u"123456"_s);
    QTest::mouseClick(child<QPushButton>(test.view.get(), u"OTP_SubmitButton"_s), Qt::LeftButton);
    test.view->goToPhase(LoginPhase::Login);
    QTest::ignoreMessage(QtWarningMsg, "Unexpected failure in a login-screen request - boom");
    test.fake.otp.open();
    SignInTest::LoginViewUnderTest::settle();
    QCOMPARE(test.shown(u"Login_ErrorLabel"_s), QString());
}

void TestLoginViewRequests::deletedViewGetsNoResult()
{
    SignInTest::FakeLoginBackend fake;
    fake.install();
    fake.login.hold();
    fake.loginAnswer = [] { return Models::SingleLoginResult(Models::SingleLoginOtpRequired{}); };
    auto view = std::make_unique<LoginView>();
    QSignalSpy phases(view.get(), &LoginView::phaseChanged);
    child<QLineEdit>(view.get(), u"Login_EmailField"_s)->setText(u"user@example.com"_s);
    child<QLineEdit>(view.get(), u"Login_PasswordField"_s)->setText(u"secret"_s);
    QTest::keyClick(child<QLineEdit>(view.get(), u"Login_PasswordField"_s), Qt::Key_Return);
    view.reset();
    fake.login.open();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCOMPARE(phases.size(), 0);

    // A view destroyed mid-request leaves the process able to sign in.
    fake.login.open();
    LoginView next;
    child<QLineEdit>(&next, u"Login_EmailField"_s)->setText(u"user@example.com"_s);
    child<QLineEdit>(&next, u"Login_PasswordField"_s)->setText(u"secret"_s);
    QTest::keyClick(child<QLineEdit>(&next, u"Login_PasswordField"_s), Qt::Key_Return);
    QTRY_COMPARE(next.phase(), LoginPhase::Otp);
    QCOMPARE(fake.login.count(), 2);
    fake.finish();
}

CLOCKWARDEN_TEST_MAIN(TestLoginViewRequests)
#include "tst_loginviewrequests.moc"
