#include "TestEnvironment.h"

#include "LoginViewFixture.h"
#include "SignInPageFixture.h"
#include "storage/LastLoginStore.h"
#include "ui/signin/CompanySelectionView.h"
#include "ui/signin/ForgotPasswordView.h"
#include "ui/signin/LoginView.h"
#include "ui/signin/OTPVerificationView.h"
#include "ui/signin/ResetPasswordView.h"
#include "ui/signin/TwoFactorVerificationView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Core::LoginPhase;
using SignInTest::child;
using UI::LoginView;

namespace {

const QString lastEmail = u"dana@example.com"_s;
const QString unexpected = u"Something went wrong. Please try again."_s;

struct ViewUnderTest : SignInTest::LoginViewUnderTest
{
    QLabel *error() const { return part<QLabel>(u"Login_ErrorLabel"_s); }
    QString shownError() const { return shown(u"Login_ErrorLabel"_s); }
};

Core::LoginFlow::Step stepOf(LoginPhase phase, const QString &email = u"me@x.io"_s)
{
    Core::LoginFlow::Step step;
    step.phase = phase;
    step.email = email;
    return step;
}

} // namespace

class TestLoginView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void buildsEachPageWhenFirstNeeded_data();
    void buildsEachPageWhenFirstNeeded();
    void resetLeavesUnbuiltPagesUnbuilt();
    void pageBuiltWhileBusyStartsBusy_data();
    void pageBuiltWhileBusyStartsBusy();
    void prefillsLastEmailWithoutMessage();
    void checksInputWhileTyping_data();
    void checksInputWhileTyping();
    void tabsThroughTheForm();
    void busyStateSwallowsInputOnlyInsideTheView();
    void busyTwiceInstallsOneFilter();
    void reenteringAPhaseStartsANewVisit();
    void startsCodePageWithPlainEmailWhenNoneToDisplay();
    void goesBackWithTheSubmittedEmail();
    void resetClearsPagesAndFocusesPassword();
    void showsUnexpectedFailureWhereThePhaseShowsErrors_data();
    void showsUnexpectedFailureWhereThePhaseShowsErrors();
    void paintsTitleAndCardInPaletteColours();
    void administratorCardShowsWhole_data();
    void administratorCardShowsWhole();
};

void TestLoginView::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
    // Read once per process: seeded before the first view.
    Storage::LastLoginStore::save(lastEmail);
}

void TestLoginView::buildsEachPageWhenFirstNeeded_data()
{
    QTest::addColumn<LoginPhase>("phase");
    QTest::addColumn<QString>("root");
    QTest::newRow("forgot") << LoginPhase::Forgot << u"Forgot_Root"_s;
    QTest::newRow("reset") << LoginPhase::ResetPassword << u"ResetPassword_Root"_s;
    QTest::newRow("e-mail code") << LoginPhase::Otp << u"Otp_Root"_s;
    QTest::newRow("two-factor") << LoginPhase::TwoFactor << u"TwoFactor_Root"_s;
    QTest::newRow("company") << LoginPhase::CompanySelection << u"CompanySelection_Root"_s;
}

void TestLoginView::buildsEachPageWhenFirstNeeded()
{
    QFETCH(LoginPhase, phase);
    QFETCH(QString, root);
    ViewUnderTest test;
    QVERIFY(SignInTest::showPage(test.view.get()));
    const QStringList roots{ u"Forgot_Root"_s, u"ResetPassword_Root"_s, u"Otp_Root"_s,
                             u"TwoFactor_Root"_s, u"CompanySelection_Root"_s };
    const auto built = [&] {
        QStringList names;
        for (const QString &name : roots) {
            if (test.view->findChild<QWidget *>(name) != nullptr)
                names.append(name);
        }
        return names;
    };
    QCOMPARE(built(), QStringList());
    QCOMPARE(test.view->page(LoginPhase::Login), test.current());

    // Entering the phase builds its page alone, fills the phase host on screen, and keeps it.
    test.view->enterPhase(stepOf(phase));
    QWidget *page = test.current();
    QCOMPARE(page->objectName(), root);
    QCOMPARE(built(), QStringList{ root });
    QVERIFY(page->isVisible());
    QCOMPARE(page->geometry(), test.part(u"Login_PhaseHost"_s)->rect());
    test.view->goToPhase(LoginPhase::Login);
    test.view->enterPhase(stepOf(phase));
    QCOMPARE(test.current(), page);
    QCOMPARE(test.view->page(phase), page);
    QCOMPARE(built(), QStringList{ root });
}

void TestLoginView::resetLeavesUnbuiltPagesUnbuilt()
{
    ViewUnderTest test;
    test.view->setBusy(true);
    test.view->showUnexpectedFailure();
    test.view->reset();
    QCOMPARE(test.view->findChildren<UI::OTPVerificationView *>().size(), 0);
    QCOMPARE(test.view->findChildren<UI::TwoFactorVerificationView *>().size(), 0);
    QCOMPARE(test.view->findChildren<UI::ResetPasswordView *>().size(), 0);
    QCOMPARE(test.view->findChildren<UI::CompanySelectionView *>().size(), 0);
    QCOMPARE(test.view->findChildren<UI::ForgotPasswordView *>().size(), 0);
    QCOMPARE(test.view->phase(), LoginPhase::Login);
}

void TestLoginView::pageBuiltWhileBusyStartsBusy_data()
{
    QTest::addColumn<LoginPhase>("phase");
    QTest::addColumn<QString>("input");
    QTest::newRow("e-mail code") << LoginPhase::Otp << u"OTP_Input_0"_s;
    QTest::newRow("two-factor") << LoginPhase::TwoFactor << u"TwoFactor_Input_0"_s;
    QTest::newRow("reset") << LoginPhase::ResetPassword << u"Reset_Input_0"_s;
}

void TestLoginView::pageBuiltWhileBusyStartsBusy()
{
    QFETCH(LoginPhase, phase);
    QFETCH(QString, input);
    ViewUnderTest test;
    QVERIFY(SignInTest::showPage(test.view.get()));
    test.view->setBusy(true);
    // Asked for while a step runs, as the pages built with the view were told of it.
    test.view->page(phase);
    QVERIFY(!test.part(input)->isEnabled());
    test.view->setBusy(false);
    QVERIFY(test.part(input)->isEnabled());
}

void TestLoginView::prefillsLastEmailWithoutMessage()
{
    ViewUnderTest test;
    QVERIFY(SignInTest::showPage(test.view.get()));
    QCOMPARE(test.email()->text(), lastEmail);
    QCOMPARE(test.password()->text(), QString());
    QVERIFY(test.error()->isHidden());
    QVERIFY(!test.submit()->isEnabled());
}

void TestLoginView::checksInputWhileTyping_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("no dot after the at")
            << u"a@b"_s << u""_s << u"Invalid email format."_s << false;
    QTest::newRow("three-character password")
            << u"user@example.com"_s << u"abc"_s << u"Password must be at least 4 characters."_s
            << false;
    QTest::newRow("fourth character") << u"user@example.com"_s << u"abcd"_s << QString() << true;
    QTest::newRow("blanks and capitals") << u" A@B.CO "_s << u"abcd"_s << QString() << true;
    QTest::newRow("one-letter top level")
            << u"a@b.c"_s << u"abcd"_s << u"Invalid email format."_s << false;
}

void TestLoginView::checksInputWhileTyping()
{
    QFETCH(QString, email);
    QFETCH(QString, password);
    QFETCH(QString, message);
    QFETCH(bool, enabled);
    ViewUnderTest test;
    QVERIFY(SignInTest::showPage(test.view.get()));
    test.email()->clear();
    QTest::keyClicks(test.email(), email);
    QTest::keyClicks(test.password(), password);
    QCOMPARE(test.shownError(), message);
    QCOMPARE(test.submit()->isEnabled(), enabled);

    // Clearing the e-mail hides the message and disables the button, with no message.
    test.email()->clear();
    QCOMPARE(test.shownError(), password.size() < 4 && !password.isEmpty()
                                        ? u"Password must be at least 4 characters."_s
                                        : QString());
    QVERIFY(!test.submit()->isEnabled());
}

void TestLoginView::tabsThroughTheForm()
{
    ViewUnderTest test;
    QVERIFY(SignInTest::showPage(test.view.get()));
    test.password()->setText(u"secret"_s);
    test.email()->setFocus(Qt::OtherFocusReason);
    QStringList walk;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(test.view->focusWidget(), Qt::Key_Tab);
        const QWidget *focused = test.view->focusWidget();
        const auto *button = qobject_cast<const QPushButton *>(focused);
        walk.append(focused->objectName().isEmpty() && button != nullptr ? button->text()
                                                                         : focused->objectName());
    }
    QCOMPARE(walk,
             (QStringList{ u"Login_PasswordField"_s, u"Login_ForgotLink"_s, u"Login_SubmitButton"_s,
                           u"Contact your administrator"_s, u"Login_EmailField"_s }));
}

void TestLoginView::busyStateSwallowsInputOnlyInsideTheView()
{
    SignInTest::FakeLoginBackend fake;
    fake.install();
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *view = new LoginView(&window);
    auto *sibling = new QPushButton(u"Outside"_s, &window);
    layout->addWidget(view);
    layout->addWidget(sibling);
    QVERIFY(SignInTest::showPage(&window));
    view->enterPhase(Core::LoginFlow::resetPasswordStep(u"me@x.io"_s, false));
    auto *resend = child<QPushButton>(view, u"Reset_ResendButton"_s);
    QVERIFY(resend->isEnabled());

    view->setBusy(true);
    QCOMPARE(child<QPushButton>(view, u"Login_SubmitButton"_s)->text(), u"Signing in…"_s);
    QSignalSpy resendClicks(resend, &QPushButton::clicked);
    QSignalSpy siblingClicks(sibling, &QPushButton::clicked);
    QTest::mouseClick(resend, Qt::LeftButton);
    QTest::mouseClick(sibling, Qt::LeftButton);
    QCOMPARE(resendClicks.size(), 0);
    QCOMPARE(siblingClicks.size(), 1);
    QCOMPARE(fake.recovery.count(), 0);
    delete view;
    fake.finish();
}

void TestLoginView::busyTwiceInstallsOneFilter()
{
    ViewUnderTest test;
    QVERIFY(SignInTest::showPage(test.view.get()));
    test.view->enterPhase(Core::LoginFlow::resetPasswordStep(u"me@x.io"_s, false));
    auto *resend = child<QPushButton>(test.view.get(), u"Reset_ResendButton"_s);
    test.view->setBusy(true);
    test.view->setBusy(true);
    test.view->setBusy(false);
    QCOMPARE(test.submit()->text(), u"Login"_s);
    QSignalSpy clicks(resend, &QPushButton::clicked);
    QTest::mouseClick(resend, Qt::LeftButton);
    QCOMPARE(clicks.size(), 1);
}

void TestLoginView::reenteringAPhaseStartsANewVisit()
{
    ViewUnderTest test;
    QSignalSpy phases(test.view.get(), &LoginView::phaseChanged);
    const int before = test.view->visitCounter();
    test.view->enterPhase(stepOf(LoginPhase::Forgot));
    test.view->enterPhase(stepOf(LoginPhase::Forgot));
    QCOMPARE(test.view->visitCounter(), before + 2);
    QCOMPARE(phases.size(), 2);
    QCOMPARE(phases.last().first().value<LoginPhase>(), LoginPhase::Forgot);
}

void TestLoginView::startsCodePageWithPlainEmailWhenNoneToDisplay()
{
    ViewUnderTest test;
    test.view->enterPhase(stepOf(LoginPhase::Otp, u"plain@x.io"_s));
    const auto *page = child<UI::OTPVerificationView>(test.view.get(), u"Otp_Root"_s);
    QCOMPARE(test.current(), page);
    const QList<QLabel *> labels = page->findChildren<QLabel *>();
    QVERIFY(std::any_of(labels.cbegin(), labels.cend(), [](const QLabel *label) {
        return label->text().contains(u"your email plain@x.io."_s);
    }));
}

void TestLoginView::goesBackWithTheSubmittedEmail()
{
    ViewUnderTest test;
    test.fake.login.hold();
    test.fake.loginAnswer
            = [] { return Models::SingleLoginResult(Models::SingleLoginOtpRequired{}); };
    QVERIFY(SignInTest::showPage(test.view.get()));
    test.email()->setText(u"submitted@x.io"_s);
    test.password()->setText(u"secret"_s);
    QTest::mouseClick(test.submit(), Qt::LeftButton);
    test.email()->setText(u"typed.later@x.io"_s);
    test.view->goToPhase(LoginPhase::Forgot);
    QCOMPARE(child<QLineEdit>(test.view.get(), u"Forgot_EmailField"_s)->text(),
             u"submitted@x.io"_s);
}

void TestLoginView::resetClearsPagesAndFocusesPassword()
{
    ViewUnderTest test;
    QVERIFY(SignInTest::showPage(test.view.get()));
    test.password()->setText(u"secret"_s);
    test.view->enterPhase([] {
        Core::LoginFlow::Step step = stepOf(LoginPhase::CompanySelection);
        step.companies = { { u"Acme"_s, u"https://acme.example.com"_s } };
        return step;
    }());
    test.view->setBusy(true);
    test.view->reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(test.view->phase(), LoginPhase::Login);
    QCOMPARE(test.current(), child<QWidget>(test.view.get(), u"Login_FormRoot"_s));
    QVERIFY(!test.view->isBusy());
    QCOMPARE(test.password()->text(), QString());
    QCOMPARE(test.view->focusWidget(), test.password());
    QVERIFY(test.error()->isHidden());
    QVERIFY(child<QWidget>(test.view.get(), u"CompanySelection_List"_s)
                    ->findChildren<QPushButton *>()
                    .isEmpty());
    QCOMPARE(test.email()->text(), lastEmail);
}

void TestLoginView::showsUnexpectedFailureWhereThePhaseShowsErrors_data()
{
    QTest::addColumn<LoginPhase>("phase");
    QTest::addColumn<QString>("label");
    QTest::newRow("form") << LoginPhase::Login << u"Login_ErrorLabel"_s;
    QTest::newRow("forgot") << LoginPhase::Forgot << u"Forgot_StatusLabel"_s;
    QTest::newRow("reset") << LoginPhase::ResetPassword << u"Reset_ErrorLabel"_s;
    QTest::newRow("e-mail code") << LoginPhase::Otp << u"OTP_ErrorLabel"_s;
    QTest::newRow("two-factor") << LoginPhase::TwoFactor << u"TwoFactor_ErrorLabel"_s;
    QTest::newRow("company") << LoginPhase::CompanySelection << u"CompanySelection_ErrorLabel"_s;
}

void TestLoginView::showsUnexpectedFailureWhereThePhaseShowsErrors()
{
    QFETCH(LoginPhase, phase);
    QFETCH(QString, label);
    ViewUnderTest test;
    // Every page built, so that each one's busy state is seen to end.
    for (const LoginPhase each : { LoginPhase::Forgot, LoginPhase::ResetPassword, LoginPhase::Otp,
                                   LoginPhase::TwoFactor, LoginPhase::CompanySelection })
        test.view->page(each);
    test.view->enterPhase(stepOf(phase));
    test.view->setBusy(true);
    child<UI::ForgotPasswordView>(test.view.get(), u"Forgot_Root"_s)->setBusy(true);
    test.view->showUnexpectedFailure();

    const QLabel *shown = child<QLabel>(test.view.get(), label);
    QVERIFY(!shown->isHidden());
    QCOMPARE(shown->text(), unexpected);
    // The pages leave their busy state; the view's own flag is the caller's.
    QCOMPARE(child<QPushButton>(test.view.get(), u"OTP_SubmitButton"_s)->text(), u"Verify Code"_s);
    QCOMPARE(child<QPushButton>(test.view.get(), u"TwoFactor_VerifyButton"_s)->text(),
             u"Verify Code"_s);
    QCOMPARE(child<QPushButton>(test.view.get(), u"Forgot_SendButton"_s)->text(), u"Send Code"_s);
    QVERIFY(test.view->isBusy());
}

void TestLoginView::paintsTitleAndCardInPaletteColours()
{
    ViewUnderTest test;
    test.view->resize(460, 640);
    QVERIFY(SignInTest::showPage(test.view.get()));
    const QList<QLabel *> labels = test.view->findChildren<QLabel *>();
    const auto title = std::find_if(labels.cbegin(), labels.cend(), [](const QLabel *label) {
        return label->text() == u"Clockwarden"_s;
    });
    QVERIFY(title != labels.cend());
    QImage shot = SignInTest::shotOf(test.view.get());
    const QRect titleRect((*title)->mapTo(test.view.get(), QPoint(0, 0)), (*title)->size());
    QVERIFY(SignInTest::hasPixelNear(shot.copy(titleRect), QColor(0xF3, 0x20, 0x62), 4));

    SignInTest::usePalette(u"black"_s);
    shot = SignInTest::shotOf(test.view.get());
    const QWidget *content = (*title)->parentWidget();
    QCOMPARE(shot.pixelColor(content->mapTo(test.view.get(), QPoint(6, 6))),
             QColor(0x20, 0x20, 0x24));
    // The title's inline colour follows the switch: black's brand grey, no pink left.
    QVERIFY(SignInTest::hasPixelNear(shot.copy(titleRect), QColor(0xA6, 0xA6, 0xB2), 4));
    QVERIFY(!SignInTest::hasPixelNear(shot.copy(titleRect), QColor(0xF3, 0x20, 0x62), 30));
    SignInTest::usePalette(u"pink"_s);
}

void TestLoginView::administratorCardShowsWhole_data()
{
    QTest::addColumn<int>("height");
    QTest::newRow("popover's own height") << 640;
    QTest::newRow("smallest popover") << 460;
}

void TestLoginView::administratorCardShowsWhole()
{
    QFETCH(int, height);
    ViewUnderTest test;
    test.view->resize(460, height);
    QVERIFY(QTest::qWaitForWindowExposed(test.view.get()));
    auto *card = test.part<QLabel>(u"loginNoAccountInfo"_s);
    QPushButton *contact = nullptr;
    for (QPushButton *button : test.view->findChildren<QPushButton *>()) {
        if (button->text() == u"Contact your administrator"_s)
            contact = button;
    }
    QVERIFY(contact != nullptr);
    QVERIFY(card->isHidden());

    QTest::mouseClick(contact, Qt::LeftButton);
    QVERIFY(card->isVisible());
    // Scrolled into view, not cut off at the window's bottom edge.
    QScrollArea *scroll = nullptr;
    for (QWidget *above = card->parentWidget(); above && !scroll; above = above->parentWidget())
        scroll = qobject_cast<QScrollArea *>(above);
    QVERIFY(scroll != nullptr);
    QWidget *viewport = scroll->viewport();
    const auto shownWhole = [&] {
        return viewport->rect().contains(QRect(card->mapTo(viewport, QPoint()), card->size()));
    };
    QTRY_VERIFY(shownWhole());
    QVERIFY(card->visibleRegion().boundingRect() == card->rect());
}

CLOCKWARDEN_TEST_MAIN(TestLoginView)
#include "tst_loginview.moc"
