#include "TestEnvironment.h"

#include "SignInPageFixture.h"
#include "ui/signin/ForgotPasswordView.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using SignInTest::child;
using UI::ForgotPasswordView;

namespace {

struct ForgotPage
{
    ForgotPasswordView page;
    QStringList sent;
    QStringList alreadyHave;

    ForgotPage()
    {
        page.onSendCode = [this](const QString &email) { sent.append(email); };
        page.onAlreadyHaveCode = [this](const QString &email) { alreadyHave.append(email); };
    }
    QLineEdit *field() const { return child<QLineEdit>(&page, u"Forgot_EmailField"_s); }
    QPushButton *send() const { return child<QPushButton>(&page, u"Forgot_SendButton"_s); }
    QPushButton *already() const
    {
        return child<QPushButton>(&page, u"Forgot_AlreadyHaveCodeButton"_s);
    }
    QLabel *status() const { return child<QLabel>(&page, u"Forgot_StatusLabel"_s); }
};

} // namespace

class TestForgotPasswordView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void enablesActionsOnlyForValidIdleEmail_data();
    void enablesActionsOnlyForValidIdleEmail();
    void sendsTrimmedEmailOnReturn();
    void handsOnEmailForAnExistingCode();
    void hidesStatusOnEditAndForEmptyText();
};

void TestForgotPasswordView::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
}

void TestForgotPasswordView::enablesActionsOnlyForValidIdleEmail_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("empty") << u""_s << false << false;
    QTest::newRow("no dot after the at") << u"user@example"_s << false << false;
    QTest::newRow("one-letter top level") << u"user@example.c"_s << false << false;
    QTest::newRow("blanks and capitals") << u"  USER@Example.COM "_s << false << true;
    QTest::newRow("valid but busy") << u"user@example.com"_s << true << false;
}

void TestForgotPasswordView::enablesActionsOnlyForValidIdleEmail()
{
    QFETCH(QString, email);
    QFETCH(bool, busy);
    QFETCH(bool, enabled);
    ForgotPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    QTest::keyClicks(test.field(), email);
    test.page.setBusy(busy);

    QCOMPARE(test.send()->isEnabled(), enabled);
    QCOMPARE(test.already()->isEnabled(), enabled);
    QCOMPARE(test.send()->text(), busy ? u"Sending…"_s : u"Send Code"_s);
    QVERIFY(test.field()->isEnabled());
    QTest::keyClick(test.field(), Qt::Key_Return);
    QCOMPARE(test.sent.size(), enabled ? 1 : 0);
}

void TestForgotPasswordView::sendsTrimmedEmailOnReturn()
{
    ForgotPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.setEmail(u" USER@EXAMPLE.COM "_s);
    test.page.showStatus(u"Old failure"_s);
    QTest::keyClick(test.field(), Qt::Key_Return);
    QCOMPARE(test.sent, QStringList{ u"USER@EXAMPLE.COM"_s });
    QVERIFY(test.status()->isHidden());

    // The sign-in view makes the page busy while the request runs.
    test.page.setBusy(true);
    QCOMPARE(test.send()->text(), u"Sending…"_s);
    QTest::mouseClick(test.send(), Qt::LeftButton);
    QTest::keyClick(test.field(), Qt::Key_Return);
    QCOMPARE(test.sent.size(), 1);
}

void TestForgotPasswordView::handsOnEmailForAnExistingCode()
{
    ForgotPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.setEmail(u" me@x.io "_s);
    QTest::mouseClick(test.already(), Qt::LeftButton);
    QCOMPARE(test.alreadyHave, QStringList{ u"me@x.io"_s });
    QVERIFY(test.sent.isEmpty());
}

void TestForgotPasswordView::hidesStatusOnEditAndForEmptyText()
{
    ForgotPage test;
    QVERIFY(SignInTest::showPage(&test.page));
    test.page.setEmail(u"me@x.io"_s);
    test.page.showStatus(u"We couldn't find that email address."_s);
    QVERIFY(test.status()->isVisible());
    QTest::keyClick(test.field(), 'x');
    QVERIFY(test.status()->isHidden());

    test.page.showStatus(u"Again"_s);
    QVERIFY(test.status()->isVisible());
    test.page.showStatus(QString());
    QVERIFY(test.status()->isHidden());
}

CLOCKWARDEN_TEST_MAIN(TestForgotPasswordView)
#include "tst_forgotpasswordview.moc"
