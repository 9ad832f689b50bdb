#include "FreshXdgRoot.h"
#include "SelfProcess.h"
#include "TestEnvironment.h"
#include "platform/CrashReports.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <barrier>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A write through a bad but non-null pointer: a real fault that the sanitizers' null and
// alignment checks let through to the signal handler.
__attribute__((no_sanitize("address", "undefined"), noinline)) void faultHere()
{
    static volatile std::uintptr_t address = 64;
    *reinterpret_cast<volatile int *>(address) = 1;
}

void throwUncaught()
{
    throw std::runtime_error("uncaught");
}

// Child role: install the handlers, print the pid, then fail as the argument says.
int runCrashingChild(const char *how)
{
    // No core files from the crashing children.
    const rlimit noCore{ 0, 0 };
    ::setrlimit(RLIMIT_CORE, &noCore);
    Platform::installCrashHandlers();
    std::printf("%d\n", int(::getpid()));
    std::fflush(stdout);

    if (std::strcmp(how, "segv-over-old-report") == 0) {
        QFile old(Platform::crashReportDirectory() + u"/crash-%1.txt"_s.arg(::getpid()));
        if (old.open(QIODevice::WriteOnly))
            old.write(QByteArray(10000, 'x'));
    }
    if (std::strcmp(how, "throw") == 0)
        throwUncaught();
    if (std::strcmp(how, "two-threads") == 0) {
        std::barrier start(2);
        auto fault = [&start] {
            start.arrive_and_wait();
            faultHere();
        };
        std::thread first(fault);
        std::thread second(fault);
        first.join();
        second.join();
    }
    faultHere();
    return 0;
}

struct Crash
{
    TestSupport::SelfProcessResult child;
    QString reportPath;
};

Crash crash(const QString &how,
            const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    Crash result;
    result.child = TestSupport::runSelf({ u"--child-crash"_s, how }, environment);
    const QByteArray pid = result.child.standardOutput.trimmed();
    result.reportPath = Platform::crashReportDirectory() + "/crash-"_L1 + QString::fromLatin1(pid)
                        + ".txt"_L1;
    return result;
}

QByteArrayList reportLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll().split('\n');
}

} // namespace

class TestCrashReports : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void writesReportAndEndsBySignal_data();
    void writesReportAndEndsBySignal();
    void overwritesEarlierReportOfSamePid();
    void twoThreadsFaultingWriteOneReport();
    void tooLongPrefixWritesNothingButStillEndsBySignal();
    void findsAndRemovesLatestReport();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestCrashReports::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
}

void TestCrashReports::cleanup()
{
    m_root.reset();
}

void TestCrashReports::writesReportAndEndsBySignal_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("signal");

    QTest::newRow("segmentation fault") << u"segv"_s << SIGSEGV;
    QTest::newRow("uncaught exception") << u"throw"_s << SIGABRT;
}

void TestCrashReports::writesReportAndEndsBySignal()
{
    QFETCH(QString, how);
    QFETCH(int, signal);

    const Crash result = crash(how);

    QVERIFY(result.child.finished);
    QCOMPARE(result.child.exitStatus, QProcess::CrashExit);
    QCOMPARE(result.child.exitCode, signal);
    QCOMPARE(QFileInfo(result.reportPath).path(),
             m_root->path(u"state/TembrixClockwarden/crashes"_s));
    QCOMPARE(QFile::permissions(result.reportPath),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    const QByteArrayList lines = reportLines(result.reportPath);
    QCOMPARE(lines.value(0), "Signal: "_ba + QByteArray::number(signal));
    // The frames follow, one a line, the handler's own first.
    QVERIFY2(lines.size() > 3, lines.join('\n').constData());
    QCOMPARE(QDir(Platform::crashReportDirectory()).entryList(QDir::Files).size(), 1);
}

void TestCrashReports::overwritesEarlierReportOfSamePid()
{
    const Crash result = crash(u"segv-over-old-report"_s);

    QCOMPARE(result.child.exitCode, SIGSEGV);
    const QByteArrayList lines = reportLines(result.reportPath);
    QCOMPARE(lines.value(0), "Signal: 11"_ba);
    QVERIFY(!lines.join('\n').contains("xxxx"));
}

void TestCrashReports::twoThreadsFaultingWriteOneReport()
{
    // A few rounds: the threads race differently each time.
    for (int round = 0; round < 5; ++round) {
        const Crash result = crash(u"two-threads"_s);

        QCOMPARE(result.child.exitStatus, QProcess::CrashExit);
        QCOMPARE(result.child.exitCode, SIGSEGV);
        const QByteArrayList lines = reportLines(result.reportPath);
        QCOMPARE(lines.value(0), "Signal: 11"_ba);
        QCOMPARE(lines.count("Signal: 11"_ba), 1);
        QVERIFY(lines.size() > 3);
        QVERIFY(QFile::remove(result.reportPath));
    }
}

void TestCrashReports::tooLongPrefixWritesNothingButStillEndsBySignal()
{
    // "<state>/TembrixClockwarden/crashes/crash-" comes to about 500 bytes.
    QString longState = m_root->path(u"state"_s);
    while (longState.size() < 450)
        longState += "/"_L1 + QString(40, u'd');
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_STATE_HOME"_s, longState);

    const auto child = TestSupport::runSelf({ u"--child-crash"_s, u"segv"_s }, environment);

    QCOMPARE(child.exitStatus, QProcess::CrashExit);
    QCOMPARE(child.exitCode, SIGSEGV);
    const QString directory = longState + "/TembrixClockwarden/crashes"_L1;
    QVERIFY(QFileInfo(directory).isDir());
    QCOMPARE(QDir(directory).entryList(QDir::Files), QStringList());
}

void TestCrashReports::findsAndRemovesLatestReport()
{
    QCOMPARE(Platform::latestCrashReport(), QString());
    const QString directory = Platform::crashReportDirectory();
    const QDateTime now = QDateTime::currentDateTime();
    const QList<std::pair<QString, int>> files{
        { u"crash-10.txt"_s, -30 }, { u"crash-20.txt"_s, -10 }, { u"crash-30.txt"_s, -20 },
        { u"other.txt"_s, 0 },      { u"crash-40.log"_s, 0 },
    };
    for (const auto &[name, ageSeconds] : files) {
        QFile file(directory + u'/' + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(now.addSecs(ageSeconds), QFileDevice::FileModificationTime));
    }

    QCOMPARE(Platform::latestCrashReport(), directory + "/crash-20.txt"_L1);
    QVERIFY(Platform::removeCrashReport(directory + "/crash-20.txt"_L1));
    QVERIFY(!Platform::removeCrashReport(directory + "/crash-20.txt"_L1));
    QCOMPARE(Platform::latestCrashReport(), directory + "/crash-30.txt"_L1);
}

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--child-crash") == 0)
        return runCrashingChild(argv[2]);
    return TestSupport::runTest<QCoreApplication, TestCrashReports>(argc, argv);
}

#include "tst_crashreports.moc"
