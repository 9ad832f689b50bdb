#include "TestEnvironment.h"

#include "../../services/server/AuthServiceFixture.h"
#include "LogTail.h"
#include "LoginViewFixture.h"
#include "SignInPageFixture.h"
#include "storage/Log.h"
#include "ui/signin/LoginView.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using Core::LoginPhase;
using SignInTest::child;
using TestSupport::FakeHrFault;
using TestSupport::FakeHrRoute;
using TestSupport::FakeHrScenario;
using UI::LoginView;

namespace {

// The real authentication and configuration services against the stand-in; only the
// GUI-thread completion calls (state holder, session engine, refresh thread) are recorded.
struct ViewUnderTest : SignInTest::LoginViewUnderTest
{
    ViewUnderTest()
    {
        const UI::LoginBackend real = UI::LoginBackend::real();
        UI::LoginBackend &backend = UI::LoginBackendTestHooks::current();
        backend.singleLogin = real.singleLogin;
        backend.signInWithOtp = real.signInWithOtp;
        backend.verifyTwoFactor = real.verifyTwoFactor;
        backend.generateOtp = real.generateOtp;
        backend.applyCompanyEndpoint = real.applyCompanyEndpoint;
        backend.discardAbandonedSignIn = real.discardAbandonedSignIn;
        backend.fetchConfigOrCached = real.fetchConfigOrCached;
    }
    void typeCredentials(const QString &secret) { fillForm(u"ada@example.com"_s, secret); }
};

const QStringList completion
        = { u"setRemoteConfig"_s,    u"applyRemoteConfig"_s,    u"setIsAuthenticated"_s,
            u"refreshPermissions"_s, u"startPeriodicRefresh"_s, u"loginCompleted"_s };

} // namespace

class TestLoginViewEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void signsInDirectly();
    void signsInThroughTheChosenCompany();
    void refusesWrongPasswordWithOneRequest();
    void discardsCodeAnswerArrivingAfterBack();

private:
    AuthBench m_bench;
};

void TestLoginViewEndToEnd::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
    m_bench.start();
    Core::Log::install();
}

void TestLoginViewEndToEnd::init()
{
    m_bench.reset();
    Storage::Preferences::instance().remove(u"lastSelectedCompanyEndpoint"_s);
}

void TestLoginViewEndToEnd::signsInDirectly()
{
    ViewUnderTest test;
    test.typeCredentials(u"correct horse"_s);
    QTest::keyClick(test.password(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(test.fake.effects, completion, 15000);
    QVERIFY(m_bench.storedTokens().has_value());
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::Configuration), 1);
}

void TestLoginViewEndToEnd::signsInThroughTheChosenCompany()
{
    m_bench.server.updateScenario([](FakeHrScenario &scenario) {
        scenario.signIn = FakeHrScenario::SignIn::CompanySelection;
    });
    ViewUnderTest test;
    test.typeCredentials(u"correct horse"_s);
    QTest::keyClick(test.password(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(test.view->phase(), LoginPhase::CompanySelection, 15000);

    const QLayout *list = child<QWidget>(test.view.get(), u"CompanySelection_List"_s)->layout();
    auto *acme = qobject_cast<QPushButton *>(list->itemAt(0)->widget());
    QCOMPARE(acme->accessibleName(), u"Acme Works"_s);
    QTest::mouseClick(acme, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(test.fake.effects, completion, 15000);
    QCOMPARE(m_bench.server.requests(FakeHrRoute::Configuration).last().apiPrefix, u"/acme"_s);
    QCOMPARE(Storage::savedCompanyName(), std::optional<QString>(u"Acme Works"_s));
}

void TestLoginViewEndToEnd::refusesWrongPasswordWithOneRequest()
{
    ViewUnderTest test;
    test.typeCredentials(u"wrong horse"_s);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(test.password(), Qt::Key_Return);
    const auto *error = child<QLabel>(test.view.get(), u"Login_ErrorLabel"_s);
    QTRY_COMPARE_WITH_TIMEOUT(error->isHidden() ? QString() : error->text(),
                              u"Incorrect email or password."_s, 15000);
    QCOMPARE(m_bench.server.requestCount(FakeHrRoute::SignIn), 1);
    QVERIFY(test.fake.effects.isEmpty());
}

void TestLoginViewEndToEnd::discardsCodeAnswerArrivingAfterBack()
{
    m_bench.server.updateScenario(
            [](FakeHrScenario &scenario) { scenario.signIn = FakeHrScenario::SignIn::EmailCode; });
    ViewUnderTest test;
    test.typeCredentials(u"correct horse"_s);
    QTest::keyClick(test.password(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(test.view->phase(), LoginPhase::Otp, 15000);

    const LogTail log;
    m_bench.server.addFault(FakeHrRoute::SignIn, FakeHrFault::delay(1000));
    child<QLineEdit>(test.view.get(), u"OTP_Input_0"_s)->insert(u"123456"_s);
    QTest::mouseClick(child<QPushButton>(test.view.get(), u"OTP_SubmitButton"_s), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(test.view.get(), u"OTP_BackButton"_s), Qt::LeftButton);
    QVERIFY(m_bench.server.waitForRequests(2, FakeHrRoute::SignIn));

    QTRY_COMPARE_WITH_TIMEOUT(
            log.count(u"[INFO] [auth]"_s, u"Discarded a sign-in the user had walked away from"_s),
            1, 15000);
    QVERIFY(!m_bench.storedTokens().has_value());
    QCOMPARE(test.view->phase(), LoginPhase::Login);
    QVERIFY(test.fake.effects.isEmpty());
}

CLOCKWARDEN_TEST_MAIN(TestLoginViewEndToEnd)
#include "tst_loginviewendtoend.moc"
