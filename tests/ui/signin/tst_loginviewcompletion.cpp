#include "TestEnvironment.h"

#include "LoginViewFixture.h"
#include "SignInPageFixture.h"
#include "core/AppStateManager.h"
#include "storage/Preferences.h"
#include "ui/signin/LoginView.h"

#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <stdexcept>
#include <thread>

using namespace Qt::StringLiterals;
using Core::LoginPhase;
using SignInTest::child;
using UI::LoginView;

namespace {

const QString apiBaseUrlKey = u"com.tembrix.clockwarden.apiBaseURL"_s;

struct ViewUnderTest : SignInTest::LoginViewUnderTest
{
    void signInWith(const Models::SingleLoginResult &answer)
    {
        fake.loginAnswer = [answer] { return answer; };
        fillForm(u"user@example.com"_s, u"secret"_s);
        QTest::keyClick(password(), Qt::Key_Return);
    }
    QPushButton *firstCompanyRow() const
    {
        const QLayout *list = part(u"CompanySelection_List"_s)->layout();
        return qobject_cast<QPushButton *>(list->itemAt(0)->widget());
    }
};

const QStringList completion
        = { u"setRemoteConfig"_s,    u"applyRemoteConfig"_s,    u"setIsAuthenticated"_s,
            u"refreshPermissions"_s, u"startPeriodicRefresh"_s, u"loginCompleted"_s };

Models::SingleLoginResult companyAnswer()
{
    Models::SingleLoginCompanySelection answer;
    answer.companies = { { u"Acme"_s, u"https://acme.example.com"_s } };
    answer.userName = u"Dana"_s;
    return answer;
}

Models::SingleLoginResult directAnswer(std::optional<Models::LoginUser> user)
{
    Models::SingleLoginDirectConfig answer;
    answer.user = std::move(user);
    return answer;
}

} // namespace

class TestLoginViewCompletion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void completesCompanyChoiceInOrder();
    void signsInOnDefaultsWhenConfigFails();
    void keepsCompanyPageWhenEndpointStepFails();
    void savesProfileOfDirectAnswer_data();
    void savesProfileOfDirectAnswer();
    void appliesRefreshedConfigOnlyWhileSignedIn();
};

void TestLoginViewCompletion::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
    // The state holder lives on the GUI thread, as in the program, where refreshed
    // configurations are posted to.
    Core::AppStateManager::instance();
}

void TestLoginViewCompletion::init()
{
    Storage::clearUserProfile();
    Storage::Preferences::instance().remove(apiBaseUrlKey);
    Storage::Preferences::instance().remove(u"lastSelectedCompanyEndpoint"_s);
}

void TestLoginViewCompletion::completesCompanyChoiceInOrder()
{
    ViewUnderTest test;
    test.fake.config.hold();
    test.signInWith(companyAnswer());
    QTRY_COMPARE(test.view->phase(), LoginPhase::CompanySelection);
    QTest::mouseClick(test.firstCompanyRow(), Qt::LeftButton);

    QCOMPARE(Storage::savedUserName(), std::optional<QString>(u"Dana"_s));
    QCOMPARE(Storage::savedCompanyName(), std::optional<QString>(u"Acme"_s));
    QVERIFY(test.view->isBusy());
    QTRY_COMPARE(test.fake.config.count(), 1);
    QCOMPARE(test.fake.companyEndpoint.arguments().first(),
             (QStringList{ u"Acme"_s, u"https://acme.example.com"_s }));
    QVERIFY(test.fake.effects.isEmpty());

    test.fake.config.open();
    QTRY_COMPARE(test.fake.effects, completion);
    QVERIFY(!test.view->isBusy());
}

void TestLoginViewCompletion::signsInOnDefaultsWhenConfigFails()
{
    ViewUnderTest test;
    test.fake.configAnswer
            = []() -> Models::RemoteConfig { throw std::runtime_error("offline, nothing cached"); };
    QTest::ignoreMessage(QtWarningMsg,
                         "LoginView: config fetch failed after sign-in; continuing on defaults");
    test.signInWith(directAnswer(std::nullopt));
    QTRY_COMPARE(test.fake.effects,
                 (QStringList{ u"setIsAuthenticated"_s, u"refreshPermissions"_s,
                               u"startPeriodicRefresh"_s, u"loginCompleted"_s }));
    QVERIFY(test.fake.authenticated);
}

void TestLoginViewCompletion::keepsCompanyPageWhenEndpointStepFails()
{
    ViewUnderTest test;
    test.fake.companyEndpointAnswer = [] { throw std::runtime_error("boom"); };
    test.signInWith(companyAnswer());
    QTRY_COMPARE(test.view->phase(), LoginPhase::CompanySelection);
    QTest::ignoreMessage(QtWarningMsg, "Unexpected failure in finishing a sign-in - boom");
    QTest::mouseClick(test.firstCompanyRow(), Qt::LeftButton);
    const auto *error = child<QLabel>(test.view.get(), u"CompanySelection_ErrorLabel"_s);
    QTRY_VERIFY(!error->isHidden());
    QCOMPARE(error->text(), u"Something went wrong. Please try again."_s);
    QVERIFY(!test.view->isBusy());
    QCOMPARE(test.view->phase(), LoginPhase::CompanySelection);
    QCOMPARE(test.fake.config.count(), 0);

    // The user can pick again.
    test.fake.companyEndpointAnswer = [] {};
    QTest::mouseClick(test.firstCompanyRow(), Qt::LeftButton);
    QVERIFY(error->isHidden());
    QTRY_COMPARE(test.fake.effects, completion);
}

void TestLoginViewCompletion::savesProfileOfDirectAnswer_data()
{
    QTest::addColumn<std::optional<Models::LoginUser>>("user");
    QTest::addColumn<QString>("baseUrl");
    QTest::addColumn<std::optional<QString>>("userName");
    QTest::addColumn<std::optional<QString>>("companyName");
    QTest::newRow("user without name, no company endpoint")
            << std::optional(Models::LoginUser{ u"u@example.com"_s, std::nullopt }) << QString()
            << std::optional<QString>(u"u@example.com"_s) << std::optional<QString>();
    QTest::newRow("named user with company endpoint")
            << std::optional(Models::LoginUser{ u"u@example.com"_s, u"Kim"_s })
            << u"https://acme.example.com/api/"_s << std::optional<QString>(u"Kim"_s)
            << std::optional<QString>(u"acme.example.com"_s);
    QTest::newRow("no user stores nothing")
            << std::optional<Models::LoginUser>() << u"https://acme.example.com/api/"_s
            << std::optional<QString>() << std::optional<QString>(u"Old Company"_s);
}

void TestLoginViewCompletion::savesProfileOfDirectAnswer()
{
    QFETCH(std::optional<Models::LoginUser>, user);
    QFETCH(QString, baseUrl);
    QFETCH(std::optional<QString>, userName);
    QFETCH(std::optional<QString>, companyName);
    if (!user.has_value())
        Storage::saveUserProfile(std::nullopt, u"Old Company"_s);
    else
        Storage::saveUserProfile(u"Old Name"_s, u"Old Company"_s);
    if (!baseUrl.isEmpty())
        Storage::Preferences::instance().setValue(apiBaseUrlKey, baseUrl);

    ViewUnderTest test;
    test.signInWith(directAnswer(user));
    QTRY_COMPARE(test.fake.effects.size(), completion.size());
    QCOMPARE(Storage::savedUserName(), userName);
    QCOMPARE(Storage::savedCompanyName(), companyName);
}

void TestLoginViewCompletion::appliesRefreshedConfigOnlyWhileSignedIn()
{
    ViewUnderTest test;
    test.signInWith(directAnswer(std::nullopt));
    QTRY_COMPARE(test.fake.effects, completion);
    QVERIFY(test.fake.refreshCallback);

    // From the refresh thread, as the configuration service calls it.
    test.fake.effects.clear();
    test.fake.authenticated = false;
    std::thread([&] { test.fake.refreshCallback(Models::RemoteConfig()); }).join();
    QCoreApplication::sendPostedEvents();
    QVERIFY(test.fake.effects.isEmpty());

    test.fake.authenticated = true;
    std::thread([&] { test.fake.refreshCallback(Models::RemoteConfig()); }).join();
    QTRY_COMPARE(test.fake.effects, (QStringList{ u"setRemoteConfig"_s, u"applyRemoteConfig"_s }));
}

CLOCKWARDEN_TEST_MAIN(TestLoginViewCompletion)
#include "tst_loginviewcompletion.moc"
