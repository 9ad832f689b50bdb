#include "FakePlatformIntegration.h"
#include "LogTail.h"
#include "SelfProcess.h"
#include "TestEnvironment.h"

#include "core/SessionManager.h"
#include "storage/SQLiteStore.h"
#include "ui/main/Application.h"
#include "ui/main/ApplicationTestHooks.h"
#include "ui/main/PopoverWindow.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <QGuiApplication>

#include <csignal>
#include <cstdio>

#include <sys/socket.h>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

const auto kStuckPoolRole = u"--child-stuck-pool"_s;
const auto kRestartRole = u"--child-restart"_s;
const auto kTrackingRole = u"--child-tracking"_s;
const auto kLoseDisplayRole = u"--child-tracking-lose-display"_s;

// Breaks the X connection under Qt's feet, as a display server that goes away does.
void breakDisplayConnection()
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 && x11->connection())
        ::shutdown(xcb_get_file_descriptor(x11->connection()), SHUT_RDWR);
}

// The child: the real application object over fakes, ended one way or the other. Its status is
// what exec() returned unless shutdown ended the process itself.
int runChild(int argc, char **argv, const QString &role)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    Core::ApplicationTestHooks::setSystemTrayAvailable([] { return false; });
    Core::ApplicationTestHooks::setMessageBoxHandler(
            [](Core::ApplicationTestHooks::MessageKind, const QString &) {});
    Core::ApplicationTestHooks::setPlatformIntegrationFactory(
            [] { return std::make_unique<TestSupport::FakePlatformIntegration>(); });
    Core::Application application;
    if (!application.start())
        return 2;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    const bool tracking = role == kTrackingRole || role == kLoseDisplayRole;
    // Only a hang trips it: a sanitized child on a loaded machine can take seconds to restart.
    watchdog.start(60000);

    if (tracking) {
        auto &engine = Core::SessionManager::instance();
        engine.startTrackingWithoutProject();
        if (!engine.isTracking()) {
            std::printf("not tracking: %s\n", qPrintable(engine.statusMessage()));
            return 4;
        }
        std::printf("tracking\n");
        std::fflush(stdout);
        if (role == kLoseDisplayRole)
            QTimer::singleShot(200, [] { breakDisplayConnection(); });
    } else if (role == kStuckPoolRole) {
        QThreadPool::globalInstance()->start([] { QThread::sleep(10); });
        QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    } else {
        // Settings' "Restart" while the popover is minimised.
        UI::PopoverWindow *window = application.popoverWindow();
        window->showMinimized();
        auto *restart = window->mainTab(3)->findChild<QPushButton *>(u"Settings_RestartButton"_s);
        if (!restart)
            return 3;
        QTimer::singleShot(100, restart, &QPushButton::click);
    }
    const int status = QApplication::exec();
    std::printf("exec returned %d\n", status);
    return status;
}

} // namespace

class TestApplicationShutdown : public QObject
{
    Q_OBJECT

private slots:
    void stuckPoolTaskEndsTheProcess();
    void settingsRestartEndsTheLoopWhileMinimised();
    void terminationSignalClosesTheInterval_data();
    void terminationSignalClosesTheInterval();
};

void TestApplicationShutdown::terminationSignalClosesTheInterval_data()
{
    QTest::addColumn<QString>("role");
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("SIGTERM") << kTrackingRole << SIGTERM << 0;
    QTest::newRow("SIGINT") << kTrackingRole << SIGINT << 0;
    QTest::newRow("SIGHUP") << kTrackingRole << SIGHUP << 0;
    // Qt itself ends the process, with status 1, when the display connection breaks.
    QTest::newRow("display connection lost") << kLoseDisplayRole << 0 << 1;
}

void TestApplicationShutdown::terminationSignalClosesTheInterval()
{
    QFETCH(QString, role);
    QFETCH(int, signalNumber);
    QFETCH(int, exitCode);
    {
        Storage::SQLiteStore store;
        store.removeActiveSession();
    }
    LogTail log;
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), { role });
    QVERIFY(child.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine() || child.state() == QProcess::NotRunning, 30000);
    QCOMPARE(child.readLine().trimmed(), "tracking"_ba);

    const QDateTime sent = QDateTime::currentDateTimeUtc();
    if (signalNumber != 0)
        QCOMPARE(::kill(pid_t(child.processId()), signalNumber), 0);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), exitCode);

    // Kept for recovery, as Quit leaves it, with the interval closed when the signal came.
    Storage::SQLiteStore store;
    const std::optional<Models::Session> session = store.loadActiveSession();
    QVERIFY(session);
    QCOMPARE(session->intervals.size(), 1);
    const std::optional<QDateTime> stopped = session->intervals.first().stoppedAt;
    QVERIFY(stopped);
    QVERIFY2(qAbs(stopped->msecsTo(sent)) < 5000,
             qPrintable(stopped->toString(Qt::ISODateWithMs) + u" vs "_s
                        + sent.toString(Qt::ISODateWithMs)));
    QVERIFY(log.contains(u"[INFO] [session]"_s, u"Tracking interval closed on app termination"_s));
}

void TestApplicationShutdown::stuckPoolTaskEndsTheProcess()
{
    LogTail log;
    const TestSupport::SelfProcessResult result = TestSupport::runSelf({ kStuckPoolRole });
    QVERIFY(result.finished);
    QCOMPARE(result.exitStatus, QProcess::NormalExit);
    QCOMPARE(result.exitCode, 75);
    QVERIFY(!result.standardOutput.contains("exec returned"));
    QVERIFY(log.contains(u"[WARN] [upload]"_s,
                         u"Application::shutdown: thread pool busy after 5s; exiting immediately "
                         u"without static destruction"_s));
}

void TestApplicationShutdown::settingsRestartEndsTheLoopWhileMinimised()
{
    const TestSupport::SelfProcessResult result = TestSupport::runSelf({ kRestartRole });
    QVERIFY(result.finished);
    QCOMPARE(result.exitStatus, QProcess::NormalExit);
    QVERIFY2(result.standardOutput.contains("exec returned 0"), result.standardError.constData());
    QCOMPARE(result.exitCode, 0);
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument == kStuckPoolRole || argument == kRestartRole || argument == kTrackingRole
            || argument == kLoseDisplayRole)
            return runChild(argc, argv, argument);
    }
    return TestSupport::runTest<QApplication, TestApplicationShutdown>(argc, argv);
}

#include "tst_application_shutdown.moc"
