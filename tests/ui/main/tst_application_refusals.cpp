#include "FakePlatformIntegration.h"
#include "LogTail.h"
#include "SelfProcess.h"
#include "TestEnvironment.h"

#include "platform/SingleInstanceGuard.h"
#include "ui/main/Application.h"
#include "ui/main/ApplicationTestHooks.h"

#include <QApplication>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const auto kChildRole = u"--child-start"_s;

// The child: one start-up over fakes, or none when the factory is told to give nothing. Prints
// the boxes it would have shown and exits with 1 when start refused, as the program does.
int runChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    Core::ApplicationTestHooks::setSystemTrayAvailable([] { return true; });
    Core::ApplicationTestHooks::setMessageBoxHandler(
            [](Core::ApplicationTestHooks::MessageKind kind, const QString &text) {
                std::printf("%s: %s\n",
                            kind == Core::ApplicationTestHooks::MessageKind::Critical ? "critical"
                                                                                      : "info",
                            qPrintable(text));
            });
    const bool noPlatform = qEnvironmentVariableIsSet("CHILD_NO_PLATFORM");
    Core::ApplicationTestHooks::setPlatformIntegrationFactory(
            [noPlatform]() -> std::unique_ptr<Platform::IPlatformIntegration> {
                if (noPlatform)
                    return nullptr;
                return std::make_unique<TestSupport::FakePlatformIntegration>();
            });
    Core::Application application;
    const bool started = application.start();
    std::printf("started %d\n", int(started));
    return started ? 0 : 1;
}

QProcessEnvironment childEnvironment(const QString &name, const QString &value)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!name.isEmpty())
        env.insert(name, value);
    return env;
}

bool lockFileExists()
{
    return QFileInfo::exists(TestSupport::TestEnvironment::current()->runtimeDir()
                             + u"/tembrix-clockwarden.lock"_s);
}

} // namespace

// The three refusals of start-up, each in a child process of its own.
class TestApplicationRefusals : public QObject
{
    Q_OBJECT

private slots:
    void headlessShowsTheCriticalBox();
    void secondInstanceShowsTheFirst();
    void noPlatformIntegration();
};

void TestApplicationRefusals::headlessShowsTheCriticalBox()
{
    const auto result = TestSupport::runSelf(
            { kChildRole }, childEnvironment(u"TEMBRIX_FORCE_PLATFORM"_s, u"headless"_s));
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.standardOutput.contains(
            "critical: No display server detected (DISPLAY/XDG_SESSION_TYPE unset). Tembrix "
            "Clockwarden requires an X11 graphical session to run."));
    QVERIFY(result.standardOutput.contains("started 0"));
    QVERIFY(!lockFileExists());
}

void TestApplicationRefusals::secondInstanceShowsTheFirst()
{
    Platform::SingleInstanceGuard first;
    QVERIFY(first.tryAcquire());
    QSignalSpy shown(&first, &Platform::SingleInstanceGuard::showRequested);
    LogTail log;

    QProcess child;
    child.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    child.start(QCoreApplication::applicationFilePath(), { kChildRole });
    QVERIFY(child.waitForStarted());
    QVERIFY(shown.wait(20000));
    QTRY_COMPARE_WITH_TIMEOUT(child.state(), QProcess::NotRunning, 20000);
    QCOMPARE(child.exitCode(), 1);
    QVERIFY(child.readAllStandardOutput().contains("started 0"));
    QVERIFY(log.contains(u"[INFO] [config]"_s, u"Another instance is running; exiting"_s));
}

void TestApplicationRefusals::noPlatformIntegration()
{
    LogTail log;
    const auto result = TestSupport::runSelf({ kChildRole },
                                             childEnvironment(u"CHILD_NO_PLATFORM"_s, u"1"_s));
    QVERIFY(result.finished);
    QCOMPARE(result.exitCode, 1);
    QVERIFY(log.contains(u"[ERROR] [config]"_s, u"PlatformIntegration null"_s));
    // The lock went with the application object.
    QVERIFY(!lockFileExists());
}

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) == kChildRole)
            return runChild(argc, argv);
    }
    return TestSupport::runTest<QApplication, TestApplicationRefusals>(argc, argv);
}

#include "tst_application_refusals.moc"
