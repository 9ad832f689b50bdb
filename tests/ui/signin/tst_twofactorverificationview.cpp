#include "TestEnvironment.h"

#include "SignInPageFixture.h"
#include "ui/signin/TwoFactorVerificationView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using SignInTest::child;
using UI::TwoFactorVerificationView;

namespace {

struct TwoFactorPage
{
    TwoFactorVerificationView page;
    QStringList verified;

    TwoFactorPage()
    {
        page.onVerify = [this](const QString &code) { verified.append(code); };
    }
    QLineEdit *box(int i) const { return child<QLineEdit>(&page, u"TwoFactor_Input_%1"_s.arg(i)); }
    QLineEdit *recovery() const { return child<QLineEdit>(&page, u"TwoFactor_RecoveryField"_s); }
    QPushButton *verify() const { return child<QPushButton>(&page, u"TwoFactor_VerifyButton"_s); }
    QPushButton *switchMode() const
    {
        return child<QPushButton>(&page, u"TwoFactor_SwitchModeButton"_s);
    }
};

} // namespace

class TestTwoFactorVerificationView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void submitsPastedDigitsOnce();
    void normalisesRecoveryCodes_data();
    void normalisesRecoveryCodes();
    void returnSubmitsOnlyWhenEnabled();
    void togglingClearsBothInputs();
    void sameDigitsSubmitAgainAfterClearedError();
};

void TestTwoFactorVerificationView::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
}

void TestTwoFactorVerificationView::submitsPastedDigitsOnce()
{
    TwoFactorPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s);
    test.box(0)->insert(u"123456"_s);
    QCOMPARE(test.verified, QStringList{ u"123456"_s });
    QCOMPARE(test.verify()->text(), u"Verifying..."_s);
    QVERIFY(!test.verify()->isEnabled());
    QVERIFY(!test.box(0)->isEnabled());
    QVERIFY(!test.switchMode()->isEnabled());

    QTest::mouseClick(test.verify(), Qt::LeftButton);
    QCOMPARE(test.verified.size(), 1);
}

void TestTwoFactorVerificationView::normalisesRecoveryCodes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sent");
    QTest::newRow("hex groups with separators, lower-cased")
            << u"ABCD-EF01 2345-6789"_s << u"abcdef0123456789"_s;
    QTest::newRow("mixed groups") << u"abcd-ef01 2345-6789"_s << u"abcdef0123456789"_s;
    QTest::newRow("not hex, as typed") << u"ABCDEFGHIJKLMNOP"_s << u"ABCDEFGHIJKLMNOP"_s;
    QTest::newRow("six digits in the field") << u"123456"_s << u"123456"_s;
}

void TestTwoFactorVerificationView::normalisesRecoveryCodes()
{
    QFETCH(QString, typed);
    QFETCH(QString, sent);
    TwoFactorPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s);
    QTest::mouseClick(test.switchMode(), Qt::LeftButton);
    QTest::keyClicks(test.recovery(), typed);
    QVERIFY(test.verify()->isEnabled());
    QTest::mouseClick(test.verify(), Qt::LeftButton);
    QCOMPARE(test.verified, QStringList{ sent });
}

void TestTwoFactorVerificationView::returnSubmitsOnlyWhenEnabled()
{
    TwoFactorPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s);
    QTest::mouseClick(test.switchMode(), Qt::LeftButton);
    QTest::keyClicks(test.recovery(), u"abcdef012345678"_s); // fifteen characters
    QVERIFY(!test.verify()->isEnabled());
    QTest::keyClick(test.recovery(), Qt::Key_Return);
    QVERIFY(test.verified.isEmpty());

    QTest::keyClick(test.recovery(), '9');
    QTest::keyClick(test.recovery(), Qt::Key_Return);
    QCOMPARE(test.verified, QStringList{ u"abcdef0123456789"_s });
}

void TestTwoFactorVerificationView::togglingClearsBothInputs()
{
    TwoFactorPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s);
    test.box(0)->insert(u"12"_s);
    QCOMPARE(test.switchMode()->text(), u"Use recovery code"_s);
    QTest::mouseClick(test.switchMode(), Qt::LeftButton);
    QCOMPARE(test.box(0)->text(), QString());
    QVERIFY(test.recovery()->isVisible());
    QVERIFY(!test.box(0)->isVisible());
    QCOMPARE(test.page.focusWidget(), test.recovery());
    QCOMPARE(test.switchMode()->text(), u"Use authenticator code"_s);

    QTest::keyClicks(test.recovery(), u"abcdef0123456789"_s);
    QVERIFY(test.verify()->isEnabled());
    QTest::mouseClick(test.switchMode(), Qt::LeftButton);
    QCOMPARE(test.recovery()->text(), QString());
    QVERIFY(!test.verify()->isEnabled());
    QCOMPARE(test.page.focusWidget(), test.box(0));
    QVERIFY(test.verified.isEmpty());
}

void TestTwoFactorVerificationView::sameDigitsSubmitAgainAfterClearedError()
{
    TwoFactorPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s);
    test.box(0)->insert(u"123456"_s);
    test.page.setBusy(false);
    test.page.showErrorAndClear(u"That code didn't work."_s);
    QCOMPARE(test.box(5)->text(), QString());
    QCOMPARE(test.page.focusWidget(), test.box(0));

    QTest::keyClicks(test.page.focusWidget(), u"1"_s);
    for (const char digit : { '2', '3', '4', '5', '6' })
        QTest::keyClick(test.page.focusWidget(), digit);
    QCOMPARE(test.verified, (QStringList{ u"123456"_s, u"123456"_s }));
}

CLOCKWARDEN_TEST_MAIN(TestTwoFactorVerificationView)
#include "tst_twofactorverificationview.moc"
