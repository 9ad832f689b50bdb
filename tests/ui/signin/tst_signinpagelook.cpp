#include "TestEnvironment.h"

#include "SignInPageFixture.h"
#include "storage/Preferences.h"
#include "ui/signin/CompanySelectionView.h"
#include "ui/signin/ForgotPasswordView.h"
#include "ui/signin/OTPVerificationView.h"
#include "ui/signin/ResendCountdown.h"
#include "ui/signin/ResetPasswordView.h"
#include "ui/signin/TwoFactorVerificationView.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using SignInTest::child;
using SignInTest::hasPixelNear;
using SignInTest::shotOf;

namespace {

using PageBuilder = std::function<QWidget *()>;

// Object name of the focus widget; company rows, which share one name, by their company.
QString focusName(const QWidget *window)
{
    const QWidget *focused = window->focusWidget();
    if (focused == nullptr)
        return QString();
    if (focused->objectName() == u"companyRow"_s)
        return u"row:"_s + focused->accessibleName();
    return focused->objectName();
}

QStringList walkTabs(QWidget *window, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        names.append(focusName(window));
    }
    return names;
}

QStringList boxes(const QString &prefix)
{
    QStringList names;
    for (int i = 0; i < 6; ++i)
        names.append(u"%1_%2"_s.arg(prefix).arg(i));
    return names;
}

// The region of child inside the page's own picture.
QImage regionOf(const QImage &pageShot, const QWidget *page, const QWidget *part)
{
    const QRect rect(part->mapTo(page, QPoint(0, 0)), part->size());
    return pageShot.copy(rect);
}

QColor colour(const QString &text)
{
    return QColor::fromString(text);
}

} // namespace

class TestSignInPageLook : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void showsServerTextLiterally();
    void paintsCardButtonAndErrorInPaletteColours_data();
    void paintsCardButtonAndErrorInPaletteColours();
    void followsPaletteSwitchAfterBuild();
    void tabsInVisualOrder_data();
    void tabsInVisualOrder();

private:
    QTemporaryDir m_files;
    QString m_redImage;
};

void TestSignInPageLook::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    SignInTest::usePalette(u"pink"_s);
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    m_redImage = m_files.filePath(u"red.png"_s);
    QVERIFY(red.save(m_redImage));
}

void TestSignInPageLook::cleanup()
{
    SignInTest::usePalette(u"pink"_s);
}

void TestSignInPageLook::showsServerTextLiterally()
{
    const QString markup = u"<b>X</b><img src=\"%1\">"_s.arg(m_redImage);
    const QColor red(Qt::red);

    UI::CompanySelectionView company;
    company.setCompanies({ { markup, u"https://x.example.com"_s } }, markup);
    QVERIFY(SignInTest::showPage(&company));
    const QList<QLabel *> companyLabels = company.findChildren<QLabel *>();
    QVERIFY(std::any_of(companyLabels.cbegin(), companyLabels.cend(),
                        [&](const QLabel *label) { return label->text() == markup; }));
    QVERIFY(!hasPixelNear(shotOf(&company), red, 20));

    const QString email = u"<i>me</i>%1@x.io"_s.arg(markup);
    UI::OTPVerificationView otp;
    otp.start(email);
    UI::TwoFactorVerificationView twoFactor;
    twoFactor.start(email);
    UI::ResetPasswordView reset;
    reset.start(email, true);
    UI::ResetPasswordView verified;
    verified.start(u"me@x.io"_s, false);
    verified.setVerifiedEmail(email);
    for (QWidget *page : { static_cast<QWidget *>(&otp), static_cast<QWidget *>(&twoFactor),
                           static_cast<QWidget *>(&reset), static_cast<QWidget *>(&verified) }) {
        QVERIFY(SignInTest::showPage(page));
        const QList<QLabel *> labels = page->findChildren<QLabel *>();
        const bool literal = std::any_of(labels.cbegin(), labels.cend(), [&](const QLabel *label) {
            return label->text().contains(email) && label->textFormat() == Qt::PlainText;
        });
        QVERIFY2(literal, page->metaObject()->className());
        QVERIFY2(!hasPixelNear(shotOf(page), red, 20), page->metaObject()->className());
        page->hide();
    }
}

void TestSignInPageLook::paintsCardButtonAndErrorInPaletteColours_data()
{
    QTest::addColumn<QString>("palette");
    QTest::newRow("pink") << u"pink"_s;
    QTest::newRow("black") << u"black"_s;
}

void TestSignInPageLook::paintsCardButtonAndErrorInPaletteColours()
{
    QFETCH(QString, palette);
    SignInTest::usePalette(palette);
    const UI::Theme::Palette &colours = UI::Theme::currentPalette();

    UI::ForgotPasswordView page;
    page.setEmail(u"me@x.io"_s);
    page.showStatus(u"Can't reach the server. Check your internet connection."_s);
    QVERIFY(SignInTest::showPage(&page));
    const QImage shot = shotOf(&page);

    auto *send = child<QPushButton>(&page, u"Forgot_SendButton"_s);
    auto *status = child<QLabel>(&page, u"Forgot_StatusLabel"_s);
    const QWidget *body = status->parentWidget();
    // Inside the card, in the body's margin.
    QCOMPARE(shot.pixelColor(body->mapTo(&page, QPoint(6, 6))), colour(colours.background));
    const QColor buttonStart = shot.pixelColor(send->mapTo(&page, QPoint(2, send->height() / 2)));
    QVERIFY2(
            SignInTest::isNear(buttonStart, colour(UI::Theme::textGradientStops(colours).at(0)), 8),
            qPrintable(buttonStart.name()));
    QVERIFY(hasPixelNear(regionOf(shot, &page, status), colour(UI::Theme::dangerColor), 8));
}

void TestSignInPageLook::followsPaletteSwitchAfterBuild()
{
    UI::ForgotPasswordView forgot;
    UI::CompanySelectionView company;
    company.setCompanies({ { u"Acme"_s, u"https://acme.example.com"_s } }, u"Dana"_s);
    SignInTest::usePalette(u"black"_s);
    const UI::Theme::Palette &black = UI::Theme::currentPalette();

    QVERIFY(SignInTest::showPage(&forgot));
    const QImage forgotShot = shotOf(&forgot);
    const QList<QLabel *> labels = forgot.findChildren<QLabel *>();
    const QLabel *title = labels.first(); // the card's title comes first
    const auto hint = std::find_if(labels.cbegin(), labels.cend(), [](const QLabel *label) {
        return label->text().startsWith(u"Enter your account email"_s);
    });
    QVERIFY(hint != labels.cend());
    const QImage titleShot = regionOf(forgotShot, &forgot, title);
    QVERIFY(hasPixelNear(titleShot, colour(black.text), 8));
    QVERIFY(hasPixelNear(regionOf(forgotShot, &forgot, *hint), colour(black.text2), 8));

    QVERIFY(SignInTest::showPage(&company));
    const QImage companyShot = shotOf(&company);
    const QLabel *companyTitle = company.findChildren<QLabel *>().first();
    QCOMPARE(companyTitle->text(), u"Select Company"_s);
    QVERIFY(hasPixelNear(regionOf(companyShot, &company, companyTitle), colour(black.text), 8));
}

void TestSignInPageLook::tabsInVisualOrder_data()
{
    QTest::addColumn<PageBuilder>("build");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QStringList>("walk");

    QTest::newRow("forgot") << PageBuilder([] {
        auto *page = new UI::ForgotPasswordView;
        page->setEmail(u"me@x.io"_s);
        return page;
    }) << u"Forgot_EmailField"_s
                            << QStringList{ u"Forgot_SendButton"_s,
                                            u"Forgot_AlreadyHaveCodeButton"_s,
                                            u"Forgot_BackButton"_s, u"Forgot_EmailField"_s };

    QTest::newRow("e-mail code") << PageBuilder([] {
        auto *page = new UI::OTPVerificationView;
        page->start(u"me@x.io"_s);
        page->countdown()->stop();
        return page;
    }) << u"OTP_Input_0"_s
                                 << boxes(u"OTP_Input"_s).mid(1)
                                            + QStringList{ u"OTP_ResendButton"_s,
                                                           u"OTP_BackButton"_s, u"OTP_Input_0"_s };

    QTest::newRow("two-factor") << PageBuilder([] {
        auto *page = new UI::TwoFactorVerificationView;
        page->start(u"me@x.io"_s);
        return page;
    }) << u"TwoFactor_Input_0"_s
                                << boxes(u"TwoFactor_Input"_s).mid(1)
                                           + QStringList{ u"TwoFactor_SwitchModeButton"_s,
                                                          u"TwoFactor_BackButton"_s,
                                                          u"TwoFactor_Input_0"_s };

    QTest::newRow("reset, code stage") << PageBuilder([] {
        auto *page = new UI::ResetPasswordView;
        page->start(u"me@x.io"_s, false);
        return page;
    }) << u"Reset_Input_0"_s
                                       << boxes(u"Reset_Input"_s).mid(1)
                                                  + QStringList{ u"Reset_ResendButton"_s,
                                                                 u"Reset_BackButton"_s,
                                                                 u"Reset_Input_0"_s };

    QTest::newRow("reset, password stage") << PageBuilder([] {
        auto *page = new UI::ResetPasswordView;
        page->start(u"me@x.io"_s, false);
        page->setVerifiedEmail(u"me@x.io"_s);
        page->findChild<QLineEdit *>(u"Reset_NewPasswordField"_s)->setText(u"Abcde1"_s);
        page->findChild<QLineEdit *>(u"Reset_ConfirmPasswordField"_s)->setText(u"Abcde1"_s);
        return page;
    }) << u"Reset_NewPasswordField"_s << QStringList{ u"Reset_ConfirmPasswordField"_s,
                                                      u"Reset_SaveButton"_s,
                                                      u"Reset_UseDifferentCodeButton"_s,
                                                      u"Reset_ResendButton"_s,
                                                      u"Reset_BackButton"_s,
                                                      u"Reset_NewPasswordField"_s };

    QTest::newRow("company") << PageBuilder([] {
        auto *page = new UI::CompanySelectionView;
        page->setCompanies(
                { { u"Beta"_s, u"b"_s }, { u"Alpha"_s, u"a"_s }, { u"Gamma"_s, u"g"_s } },
                u"Dana"_s);
        return page;
    }) << u"row:Alpha"_s << QStringList{ u"row:Beta"_s, u"row:Gamma"_s, u"row:Alpha"_s };
}

void TestSignInPageLook::tabsInVisualOrder()
{
    QFETCH(PageBuilder, build);
    QFETCH(QString, first);
    QFETCH(QStringList, walk);
    Storage::Preferences::instance().remove(u"lastSelectedCompanyEndpoint"_s);
    std::unique_ptr<QWidget> page(build());
    QVERIFY(SignInTest::showPage(page.get()));
    QWidget *start = nullptr;
    for (QWidget *candidate : page->findChildren<QWidget *>()) {
        const QString name = candidate->objectName() == u"companyRow"_s
                                     ? u"row:"_s + candidate->accessibleName()
                                     : candidate->objectName();
        if (name == first)
            start = candidate;
    }
    QVERIFY(start != nullptr);
    start->setFocus(Qt::OtherFocusReason);
    QCOMPARE(focusName(page.get()), first);
    QCOMPARE(walkTabs(page.get(), int(walk.size())), walk);
}

CLOCKWARDEN_TEST_MAIN(TestSignInPageLook)
#include "tst_signinpagelook.moc"
