#include "TestEnvironment.h"

#include "SignInPageFixture.h"
#include "ui/signin/ResetPasswordView.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using SignInTest::child;
using UI::ResetPasswordView;

namespace {

struct Submission
{
    QString code;
    QString password;
    QString email;
    friend bool operator==(const Submission &, const Submission &) = default;
};

struct ResetPage
{
    ResetPasswordView page;
    QStringList checked;
    QList<Submission> submitted;
    int resends = 0;

    ResetPage()
    {
        page.onCheckCode = [this](const QString &code) { checked.append(code); };
        page.onSubmit = [this](const QString &code, const QString &password, const QString &email) {
            submitted.append({ code, password, email });
        };
        page.onResend = [this] { ++resends; };
    }
    QLineEdit *box(int i) const { return child<QLineEdit>(&page, u"Reset_Input_%1"_s.arg(i)); }
    QLineEdit *password() const { return child<QLineEdit>(&page, u"Reset_NewPasswordField"_s); }
    QLineEdit *confirm() const { return child<QLineEdit>(&page, u"Reset_ConfirmPasswordField"_s); }
    QPushButton *save() const { return child<QPushButton>(&page, u"Reset_SaveButton"_s); }
    QLabel *label(const QString &name) const { return child<QLabel>(&page, name); }

    // A confirmed code and the password stage.
    void verify(const QString &code = u"123456"_s)
    {
        box(0)->insert(code);
        page.setBusy(true);
        page.setBusy(false);
        page.setVerifiedEmail(u"verified@x.io"_s);
    }
};

} // namespace

class TestResetPasswordView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void checksEachDistinctCodeOnce();
    void checksSameDigitsAgainAfterCodeError();
    void marksRulesAsTheyAreMet_data();
    void marksRulesAsTheyAreMet();
    void showsMismatchOnlyForDifferentConfirmation();
    void savesOnlyMetRulesAndExactMatch();
    void resendReturnsToAnEmptyCodeStage();
};

void TestResetPasswordView::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
}

void TestResetPasswordView::checksEachDistinctCodeOnce()
{
    ResetPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s, true);
    test.box(0)->insert(u"12345"_s);
    QVERIFY(test.checked.isEmpty());
    QTest::keyClick(test.box(5), '6');
    QCOMPARE(test.checked, QStringList{ u"123456"_s });

    // The same digit typed over itself leaves the same code: no second check.
    test.box(5)->setCursorPosition(1);
    QTest::keyClick(test.box(5), '6');
    QCOMPARE(test.checked.size(), 1);
    test.box(5)->setCursorPosition(1);
    QTest::keyClick(test.box(5), '7');
    QCOMPARE(test.checked, (QStringList{ u"123456"_s, u"123457"_s }));
}

void TestResetPasswordView::checksSameDigitsAgainAfterCodeError()
{
    ResetPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s, false);
    test.box(0)->insert(u"123456"_s);
    test.page.setBusy(true);
    QVERIFY(!test.box(0)->isEnabled());
    test.page.setBusy(false);
    test.page.setVerifiedEmail(std::nullopt);
    test.page.showError(u"That code isn't right."_s);
    QCOMPARE(test.box(0)->text(), QString());
    QCOMPARE(test.page.focusWidget(), test.box(0));

    test.box(0)->insert(u"123456"_s);
    QCOMPARE(test.checked, (QStringList{ u"123456"_s, u"123456"_s }));
}

void TestResetPasswordView::marksRulesAsTheyAreMet_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QList<bool>>("met");
    QTest::newRow("empty") << u""_s << QList<bool>{ false, false, false };
    QTest::newRow("six small letters") << u"abcdef"_s << QList<bool>{ true, false, false };
    QTest::newRow("accented capital only") << u"Ébcde1"_s << QList<bool>{ true, false, true };
    QTest::newRow("all three") << u"Abcde1"_s << QList<bool>{ true, true, true };
}

void TestResetPasswordView::marksRulesAsTheyAreMet()
{
    QFETCH(QString, password);
    QFETCH(QList<bool>, met);
    ResetPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s, false);
    test.verify();
    QTest::keyClicks(test.password(), password);

    const QStringList names
            = { u"Reset_RuleMinLength"_s, u"Reset_RuleUppercase"_s, u"Reset_RuleDigit"_s };
    const QStringList texts = { u"At least 6 characters"_s, u"At least one capital letter (A-Z)"_s,
                                u"At least one number (0-9)"_s };
    for (int i = 0; i < 3; ++i) {
        const QLabel *rule = test.label(names[i]);
        QCOMPARE(rule->text(), (met[i] ? u"✓  "_s : u"○  "_s) + texts[i]);
        // A met rule in green, as dark as the card needs to read it.
        const QString green = UI::Theme::readableTextColour(UI::Theme::greenColor);
        QVERIFY2(rule->styleSheet().contains(met[i] ? green : UI::Theme::textColor),
                 qPrintable(rule->styleSheet()));
    }
}

void TestResetPasswordView::showsMismatchOnlyForDifferentConfirmation()
{
    ResetPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s, false);
    test.verify();
    const QLabel *mismatch = test.label(u"Reset_MismatchLabel"_s);
    QTest::keyClicks(test.password(), u"Abcde1"_s);
    QVERIFY(mismatch->isHidden());
    QTest::keyClicks(test.confirm(), u"Abc"_s);
    QVERIFY(mismatch->isVisible());
    test.confirm()->clear();
    QVERIFY(mismatch->isHidden());
}

void TestResetPasswordView::savesOnlyMetRulesAndExactMatch()
{
    ResetPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s, false);
    test.verify(u"246810"_s);
    QCOMPARE(test.page.focusWidget(), test.password());
    QVERIFY(!test.box(0)->isEnabled());

    QTest::keyClicks(test.password(), u"abcde1"_s); // no capital
    QTest::keyClicks(test.confirm(), u"abcde1"_s);
    QVERIFY(!test.save()->isEnabled());
    QTest::keyClick(test.confirm(), Qt::Key_Return);
    QVERIFY(test.submitted.isEmpty());

    test.password()->setText(u"Abcde1"_s);
    test.confirm()->setText(u"Abcde1 "_s); // blanks count
    QVERIFY(!test.save()->isEnabled());
    test.confirm()->setText(u"Abcde1"_s);
    QVERIFY(test.save()->isEnabled());
    QTest::keyClick(test.confirm(), Qt::Key_Return);
    QCOMPARE(test.submitted,
             (QList<Submission>{ { u"246810"_s, u"Abcde1"_s, u"verified@x.io"_s } }));

    test.page.setBusy(true);
    QCOMPARE(test.save()->text(), u"Saving..."_s);
    QVERIFY(!test.password()->isEnabled());
    QVERIFY(!test.confirm()->isEnabled());
}

void TestResetPasswordView::resendReturnsToAnEmptyCodeStage()
{
    ResetPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s, false);
    auto *resend = child<QPushButton>(&test.page, u"Reset_ResendButton"_s);
    QCOMPARE(resend->text(), u"Resend code"_s);
    test.verify();
    test.page.showError(u"That password was rejected."_s);
    QTest::mouseClick(resend, Qt::LeftButton);

    QCOMPARE(test.resends, 1);
    QVERIFY(test.label(u"Reset_ErrorLabel"_s)->isHidden());
    QVERIFY(child<QWidget>(&test.page, u"Reset_PasswordStage"_s)->isHidden());
    QCOMPARE(test.box(0)->text(), QString());
    QVERIFY(test.box(0)->isEnabled());
    QCOMPARE(resend->text(), u"Resend code (60s)"_s);
    QVERIFY(!resend->isEnabled());

    test.page.showStatus(u"We sent a new code. The previous one no longer works."_s);
    QVERIFY(test.label(u"Reset_StatusLabel"_s)->isVisible());
    test.page.showError(u"Too many requests."_s);
    QVERIFY(test.label(u"Reset_StatusLabel"_s)->isHidden());
}

CLOCKWARDEN_TEST_MAIN(TestResetPasswordView)
#include "tst_resetpasswordview.moc"
