#include "FakePlatformIntegration.h"
#include "LogTail.h"
#include "SelfProcess.h"
#include "TestEnvironment.h"

#include "ui/main/Application.h"
#include "ui/main/ApplicationTestHooks.h"
#include "ui/main/PopoverWindow.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const auto kStuckPoolRole = u"--child-stuck-pool"_s;
const auto kRestartRole = u"--child-restart"_s;

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
    watchdog.start(5000);

    if (role == kStuckPoolRole) {
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
};

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
        if (argument == kStuckPoolRole || argument == kRestartRole)
            return runChild(argc, argv, argument);
    }
    return TestSupport::runTest<QApplication, TestApplicationShutdown>(argc, argv);
}

#include "tst_application_shutdown.moc"
