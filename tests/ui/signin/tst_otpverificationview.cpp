#include "TestEnvironment.h"

#include "SignInPageFixture.h"
#include "ui/signin/OTPVerificationView.h"
#include "ui/signin/ResendCountdown.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using SignInTest::child;
using UI::OTPVerificationView;

namespace {

struct OtpPage
{
    OTPVerificationView page;
    QStringList verified;
    int resends = 0;

    OtpPage()
    {
        page.onVerify = [this](const QString &code) { verified.append(code); };
        page.onResend = [this] { ++resends; };
    }
    QLineEdit *box(int i) const { return child<QLineEdit>(&page, u"OTP_Input_%1"_s.arg(i)); }
    QPushButton *submit() const { return child<QPushButton>(&page, u"OTP_SubmitButton"_s); }
    QPushButton *resend() const { return child<QPushButton>(&page, u"OTP_ResendButton"_s); }
    QLabel *error() const { return child<QLabel>(&page, u"OTP_ErrorLabel"_s); }
    void ticks(int count) const
    {
        for (int i = 0; i < count; ++i)
            page.countdown()->tick();
    }
};

const QString counting = u"Resend code to the registered contact (%1s)"_s;

} // namespace

class TestOtpVerificationView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void completeRowOnlyEnablesTheButton();
    void busyPageSendsOneCode();
    void countsDownAndReenablesResend();
    void countsDownWithTheRealTimer();
    void resendRestartsAndResetStops();
    void rejectedCodeEmptiesTheRow();
};

void TestOtpVerificationView::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
}

void TestOtpVerificationView::completeRowOnlyEnablesTheButton()
{
    OtpPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s);
    test.box(0)->insert(u"12345"_s);
    QVERIFY(!test.submit()->isEnabled());
    QTest::keyClick(test.box(5), '6');
    QVERIFY(test.submit()->isEnabled());
    QVERIFY(test.verified.isEmpty());

    QTest::keyClick(test.box(5), Qt::Key_Backspace);
    QVERIFY(!test.submit()->isEnabled());
}

void TestOtpVerificationView::busyPageSendsOneCode()
{
    OtpPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s);
    test.box(0)->insert(u"654321"_s);
    QTest::mouseClick(test.submit(), Qt::LeftButton);
    QCOMPARE(test.verified, QStringList{ u"654321"_s });
    QCOMPARE(test.submit()->text(), u"..."_s);
    QVERIFY(!test.submit()->isEnabled());
    QVERIFY(!test.box(0)->isEnabled());

    QTest::mouseClick(test.submit(), Qt::LeftButton);
    QCOMPARE(test.verified.size(), 1);
    QVERIFY(test.resend()->isVisible()); // resend and back stay as they were
}

void TestOtpVerificationView::countsDownAndReenablesResend()
{
    OtpPage test;
    test.page.start(u"me@x.io"_s);
    QVERIFY(!test.resend()->isEnabled());
    QCOMPARE(test.resend()->text(), counting.arg(60));
    test.ticks(1);
    QCOMPARE(test.resend()->text(), counting.arg(59));
    test.ticks(58);
    QCOMPARE(test.resend()->text(), counting.arg(1));
    QVERIFY(!test.resend()->isEnabled());
    test.ticks(1);
    QCOMPARE(test.resend()->text(), u"Resend code"_s);
    QVERIFY(test.resend()->isEnabled());
    QVERIFY(!test.page.countdown()->isRunning());
}

void TestOtpVerificationView::countsDownWithTheRealTimer()
{
    OtpPage test;
    test.page.start(u"me@x.io"_s);
    QTRY_COMPARE_WITH_TIMEOUT(test.resend()->text(), counting.arg(59), 2000);
}

void TestOtpVerificationView::resendRestartsAndResetStops()
{
    OtpPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s);
    test.ticks(60);
    QTest::mouseClick(test.resend(), Qt::LeftButton);
    QCOMPARE(test.resends, 1);
    QCOMPARE(test.resend()->text(), counting.arg(60));
    QVERIFY(!test.resend()->isEnabled());

    test.ticks(5);
    test.page.reset();
    QVERIFY(!test.page.countdown()->isRunning());
    QVERIFY(test.resend()->isEnabled());
    QCOMPARE(test.resend()->text(), u"Resend code"_s);
}

void TestOtpVerificationView::rejectedCodeEmptiesTheRow()
{
    OtpPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.start(u"me@x.io"_s);
    test.box(0)->insert(u"111111"_s);
    QTest::mouseClick(test.submit(), Qt::LeftButton);
    test.page.setBusy(false);
    test.page.showError(u"Network down"_s);
    QCOMPARE(test.box(5)->text(), u"1"_s); // other failures keep the digits
    QVERIFY(test.submit()->isEnabled());

    test.page.showErrorAndClear(u"Invalid OTP code. Please try again."_s);
    QVERIFY(test.error()->isVisible());
    QCOMPARE(test.box(0)->text(), QString());
    QVERIFY(!test.submit()->isEnabled());
    QCOMPARE(test.page.focusWidget(), test.box(0));
}

CLOCKWARDEN_TEST_MAIN(TestOtpVerificationView)
#include "tst_otpverificationview.moc"
