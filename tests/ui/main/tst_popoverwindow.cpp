#include "TestEnvironment.h"

#include "core/AppStateManager.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"
#include "ui/main/ApplicationTestHooks.h"
#include "ui/main/ForceUpdateView.h"
#include "ui/main/PopoverWindow.h"
#include "ui/main/SettingsView.h"
#include "ui/main/SummaryView.h"
#include "ui/signin/LoginView.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/Palette.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/IconTabWidget.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <qpa/qwindowsysteminterface.h>

using UI::PopoverWindow;
using namespace Qt::StringLiterals;

namespace {

void setState(bool signedIn, bool forced)
{
    auto &state = Core::AppStateManager::instance();
    Models::RemoteConfig config;
    config.latestClientVersionLinux = forced ? u"9.9.9"_s : u"0.0.1"_s;
    state.setRemoteConfig(config);
    state.setIsAuthenticated(signedIn);
    QCoreApplication::processEvents();
}

// Runs handle on the close question once it is up.
void onCloseQuestion(const std::function<void(QWidget *)> &handle)
{
    QTimer::singleShot(10, [handle] {
        if (QWidget *dialog = QApplication::activeModalWidget())
            handle(dialog);
        else
            onCloseQuestion(handle);
    });
}

// Answers the close question: clicks the named button, or presses Escape.
void answerCloseQuestion(const QString &button)
{
    onCloseQuestion([button](QWidget *dialog) {
        if (button.isEmpty())
            QTest::keyClick(dialog, Qt::Key_Escape);
        else if (auto *target = dialog->findChild<QPushButton *>(button))
            target->click();
        else
            dialog->close();
    });
}

void closeFromWindowManager(QWidget &window)
{
    QWindowSystemInterface::handleCloseEvent<QWindowSystemInterface::SynchronousDelivery>(
            window.windowHandle());
}

} // namespace

class TestPopoverWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void pageFollowsState_data();
    void pageFollowsState();
    void signInViewResetOnlyWhenReturning();
    void tabRequestSelectsAndClears();
    void tabsBuiltLaterShowCurrentData();
    void tabsFollowASignInAfterThePaint();
    void closeQuestion_data();
    void closeQuestion();
    void closeQuestionButtonsRead_data();
    void closeQuestionButtonsRead();
    void closeWithoutQuestion();
    void noTrayOffersNoTrayButton();
    // Last: once the loop has ended, this process runs no further nested loops.
    void closeQuestionQuitEndsTheLoop();
};

void TestPopoverWindow::cleanup()
{
    Core::ApplicationTestHooks::setSystemTrayAvailable({});
    setState(false, false);
}

void TestPopoverWindow::pageFollowsState_data()
{
    QTest::addColumn<bool>("signedIn");
    QTest::addColumn<bool>("forced");
    QTest::addColumn<int>("page");
    QTest::newRow("signed out") << false << false << 0;
    QTest::newRow("signed out, forced") << false << true << 0;
    QTest::newRow("signed in") << true << false << 1;
    QTest::newRow("signed in, forced") << true << true << 2;
}

void TestPopoverWindow::pageFollowsState()
{
    QFETCH(bool, signedIn);
    QFETCH(bool, forced);
    QFETCH(int, page);
    PopoverWindow window;
    setState(signedIn, forced);
    QCOMPARE(window.stack()->currentIndex(), page);

    // Built in that state, too.
    PopoverWindow fresh;
    QCOMPARE(fresh.stack()->currentIndex(), page);

    // The force-update page is built only to be shown, and shows the required version then.
    for (const PopoverWindow *shown : { &window, &fresh }) {
        const auto *forceUpdate = shown->findChild<UI::ForceUpdateView *>();
        QCOMPARE(forceUpdate != nullptr, page == 2);
        if (forceUpdate)
            QCOMPARE(forceUpdate->findChild<QLabel *>(u"ForceUpdate_VersionLabel"_s)->text(),
                     u"Latest version: 9.9.9"_s);
    }
}

void TestPopoverWindow::signInViewResetOnlyWhenReturning()
{
    PopoverWindow window;
    auto *password = window.loginView()->findChild<QLineEdit *>(u"Login_PasswordField"_s);
    QVERIFY(password);
    password->setText(u"typed secret"_s);
    // Staying on the sign-in page keeps what was typed.
    window.updateCurrentPage();
    QCOMPARE(password->text(), u"typed secret"_s);

    setState(true, false);
    window.mainTabs()->setCurrentIndex(3);
    setState(false, false);
    QCOMPARE(window.stack()->currentIndex(), 0);
    QVERIFY(password->text().isEmpty());
    // The tab last selected stays for the next sign-in.
    setState(true, false);
    QCOMPARE(window.mainTabs()->currentIndex(), 3);
}

void TestPopoverWindow::tabRequestSelectsAndClears()
{
    auto &state = Core::AppStateManager::instance();
    state.setPendingMainTab(1);
    PopoverWindow window;
    QCOMPARE(window.mainTabs()->currentIndex(), 1);
    QVERIFY(!state.pendingMainTab());

    QVERIFY(window.isHidden());
    state.setPendingMainTab(2);
    QCOMPARE(window.mainTabs()->currentIndex(), 2);
    QVERIFY(!state.pendingMainTab());
    QVERIFY(window.isHidden());
}

void TestPopoverWindow::tabsBuiltLaterShowCurrentData()
{
    const QDateTime start = QDate::currentDate().startOfDay().addSecs(60);
    Models::Session session;
    session.id = QUuid::createUuid();
    session.deviceId = Storage::deviceId();
    session.projectName = u"Design"_s;
    session.intervals
            = { Models::Interval(QUuid::createUuid(), start.toUTC(), start.addSecs(1800).toUTC()) };
    session.status = Models::SessionStatus::completed;
    session.reportedTotalSeconds = 1800;
    Storage::SQLiteStore::instance()->appendSessionHistory(session);
    setState(true, false);

    PopoverWindow window;
    // The first view is the Tracker tab: the others wait.
    QVERIFY(!window.findChild<UI::SummaryView *>());
    window.show();
    window.mainTabs()->setCurrentIndex(1);
    auto *summary = window.findChild<UI::SummaryView *>();
    QVERIFY(summary && summary->isVisible());
    const auto text = [summary](const QString &name) {
        const auto *label = summary->findChild<QLabel *>(name);
        return label ? label->text() : QString();
    };
    QTRY_COMPARE(text(u"Summary_SessionsValue"_s), u"1"_s);
    QCOMPARE(text(u"Summary_TotalValue"_s), u"30m"_s);
    QCOMPARE(summary->findChildren<QWidget *>(u"Summary_Row"_s).size(), 1);
    // Once the window has painted, the tabs still unseen are built too.
    QTRY_VERIFY(window.findChild<UI::SettingsView *>());
}

void TestPopoverWindow::tabsFollowASignInAfterThePaint()
{
    setState(false, false);
    PopoverWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.findChild<UI::SettingsView *>());
    setState(true, false);
    QTRY_VERIFY(window.findChild<UI::SettingsView *>());
    QVERIFY(!window.findChild<UI::SettingsView *>()->isVisible());
}

void TestPopoverWindow::closeQuestion_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("minimized");
    QTest::newRow("cancel") << u"CloseQuestion_CancelButton"_s << true << false;
    QTest::newRow("escape") << QString() << true << false;
    QTest::newRow("minimize") << u"CloseQuestion_MinimizeButton"_s << true << true;
    QTest::newRow("minimize to tray") << u"CloseQuestion_TrayButton"_s << false << false;
}

void TestPopoverWindow::closeQuestion()
{
    QFETCH(QString, button);
    QFETCH(bool, visible);
    QFETCH(bool, minimized);
    Core::ApplicationTestHooks::setSystemTrayAvailable([] { return true; });

    PopoverWindow window;
    window.showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    answerCloseQuestion(button);
    closeFromWindowManager(window);
    QCOMPARE(window.isVisible(), visible);
    QTRY_COMPARE(window.isMinimized(), minimized);
}

void TestPopoverWindow::closeQuestionQuitEndsTheLoop()
{
    PopoverWindow window;
    window.showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTimer::singleShot(0, &window, [&] {
        answerCloseQuestion(u"CloseQuestion_QuitButton"_s);
        closeFromWindowManager(window);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!window.isVisible());
}

void TestPopoverWindow::closeQuestionButtonsRead_data()
{
    QTest::addColumn<QString>("palette");
    for (const UI::Theme::Palette &palette : UI::Theme::palettes())
        QTest::newRow(qPrintable(palette.id)) << palette.id;
}

// Each choice's text reads on its own fill, light brands included.
void TestPopoverWindow::closeQuestionButtonsRead()
{
    QFETCH(QString, palette);
    Core::ApplicationTestHooks::setSystemTrayAvailable([] { return true; });
    const QString before = UI::Theme::currentPalette().id;
    UI::Theme::applyPalette(*qApp, palette);
    PopoverWindow window;
    window.showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QStringList failures;
    int checked = 0;
    onCloseQuestion([&](QWidget *dialog) {
        static const QRegularExpression colour(
                u"(?:^|[{; ])(color|background):\\s*(#[0-9a-fA-F]{6})"_s);
        for (const QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->styleSheet().isEmpty())
                continue;
            QColor text, fill;
            for (const QRegularExpressionMatch &match : colour.globalMatch(button->styleSheet())) {
                QColor &target = match.captured(1) == u"color"_s ? text : fill;
                if (!target.isValid())
                    target = QColor::fromString(match.captured(2));
            }
            const double ratio = UI::Theme::contrastRatio(text, fill);
            qInfo("%s %s: %.2f", qPrintable(palette), qPrintable(button->text()), ratio);
            ++checked;
            if (ratio < UI::Theme::kNormalTextContrast)
                failures << u"%1 %2 on %3: %4"_s.arg(button->text(), text.name(), fill.name())
                                    .arg(ratio, 0, 'f', 2);
        }
        dialog->close();
    });
    closeFromWindowManager(window);
    UI::Theme::applyPalette(*qApp, before);
    QCOMPARE(checked, 3);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(u"; "_s)));
}

void TestPopoverWindow::closeWithoutQuestion()
{
    PopoverWindow window;
    window.showAndActivate();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Not spontaneous: hidden, nothing asked.
    QVERIFY(!window.close());
    QVERIFY(window.isHidden());
    QVERIFY(!QApplication::activeModalWidget());

    // A minimised window stays minimised.
    window.showMinimized();
    QTRY_VERIFY(window.isMinimized());
    window.close();
    QVERIFY(window.isMinimized());
    QVERIFY(window.isVisible());
}

void TestPopoverWindow::noTrayOffersNoTrayButton()
{
    Core::ApplicationTestHooks::setSystemTrayAvailable([] { return false; });
    PopoverWindow window;
    window.showAndActivate();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QString explanation;
    bool trayButton = true;
    QTRY_VERIFY(window.isActiveWindow());
    onCloseQuestion([&](QWidget *dialog) {
        trayButton = dialog->findChild<QPushButton *>(u"CloseQuestion_TrayButton"_s);
        explanation = dialog->findChild<QLabel *>(u"CloseQuestion_Explanation"_s)->text();
        dialog->findChild<QPushButton *>(u"CloseQuestion_CancelButton"_s)->click();
    });
    closeFromWindowManager(window);
    QVERIFY(!trayButton);
    QCOMPARE(explanation, u"Tracking keeps running in the background while minimized."_s);
    QVERIFY(window.isVisible());
}

CLOCKWARDEN_TEST_MAIN(TestPopoverWindow)
#include "tst_popoverwindow.moc"
