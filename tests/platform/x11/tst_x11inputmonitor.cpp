#include "MessageCapture.h"
#include "SelfProcess.h"
#include "TestEnvironment.h"
#include "XTools.h"
#include "platform/x11/X11InputMonitor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;
using Platform::X11::X11InputMonitor;

namespace {

// The monitor's signals as a receiver on the GUI thread sees them, with the thread that emitted.
class InputCounter final : public QObject
{
public:
    explicit InputCounter(X11InputMonitor &monitor)
    {
        connect(&monitor, &X11InputMonitor::keyPressed, this, [this] { ++keys; });
        connect(&monitor, &X11InputMonitor::mouseClicked, this, [this] { ++clicks; });
        connect(&monitor, &X11InputMonitor::mouseMoved, this, [this] { ++moves; });
        connect(&monitor, &X11InputMonitor::degraded, this, [this] { ++degraded; });
        connect(
                &monitor, &X11InputMonitor::keyPressed, this,
                [this] {
                    QMutexLocker locker(&m_mutex);
                    m_emittingThread = QThread::currentThread()->objectName();
                },
                Qt::DirectConnection);
    }

    QString emittingThread() const
    {
        QMutexLocker locker(&m_mutex);
        return m_emittingThread;
    }

    int keys = 0;
    int clicks = 0;
    int moves = 0;
    int degraded = 0;

private:
    mutable QMutex m_mutex;
    QString m_emittingThread;
};

// Task ids of this process's threads with this system name, which QThread sets from the object
// name.
QStringList threadIdsNamed(const QByteArray &name)
{
    QStringList ids;
    for (const QString &task :
         QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(u"/proc/self/task/%1/comm"_s.arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name)
            ids.append(task);
    }
    return ids;
}

int threadsNamed(const QByteArray &name)
{
    return int(threadIdsNamed(name).size());
}

// Times the thread named `name` has been switched out, voluntarily or not: each sleep and wake
// adds one. -1 when there is no such thread.
qint64 contextSwitchesOf(const QByteArray &name)
{
    const QStringList ids = threadIdsNamed(name);
    QFile status(u"/proc/self/task/%1/status"_s.arg(ids.value(0)));
    if (ids.isEmpty() || !status.open(QIODevice::ReadOnly))
        return -1;
    qint64 switches = 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("voluntary_ctxt_switches:")
            || line.startsWith("nonvoluntary_ctxt_switches:"))
            switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return switches;
}

bool xdotool(const QStringList &arguments)
{
    return TestSupport::runTool(u"xdotool"_s, arguments);
}

// Start, start, stop, start: the first and last starts each try once and log `warning` once.
bool logsOncePerTry(X11InputMonitor &monitor, const QString &warning)
{
    MessageCapture capture;
    const auto logged = [&](int times) {
        return QTest::qWaitFor(
                       [&] { return capture.messages(QtWarningMsg).count(warning) >= times; }, 5000)
               && capture.messages(QtWarningMsg).count(warning) == times;
    };
    monitor.start();
    if (!logged(1))
        return false;
    monitor.start();
    QTest::qWait(200);
    if (!logged(1))
        return false;
    monitor.stop();
    monitor.start();
    return logged(2) && capture.messages(QtWarningMsg) == QStringList{ warning, warning };
}

// Child role: the monitor on a display with no server behind it.
int runOnDeadDisplay()
{
    X11InputMonitor monitor;
    const bool ok = logsOncePerTry(monitor, u"X11InputMonitor: xcb_connect failed"_s);
    std::puts(ok ? "logged once per try" : "wrong warnings");
    return ok ? 0 : 1;
}

} // namespace

class TestX11InputMonitor : public QObject
{
    Q_OBJECT

private slots:
    void countsEachRawEventOnce_data();
    void countsEachRawEventOnce();
    void countsWhileAnotherClientGrabs();
    void doubleStartRunsOneThread();
    void stopEndsDeliveryAndStartResumes();
    void stopWithoutStartDoesNothing();
    void sleepsWhileNoInputComes();
    void stopIsNoticedAtOnce();
    void threadEndsWhenServerGoes();
    void logsMissingXInputOncePerTry();
    void logsFailedConnectionOncePerTry();

private:
    // Runs the action, then a sentinel of another kind; once the sentinel has arrived, every
    // event of the action has too, and the counts are final.
    void act(InputCounter &counter, const QStringList &action);
    // The thread selects its events some time after start(): input before that is lost. Moves
    // the pointer until one arrives, then starts the counts from zero.
    void waitUntilListening(InputCounter &counter);
};

void TestX11InputMonitor::waitUntilListening(InputCounter &counter)
{
    for (int attempt = 0; attempt < 50 && counter.moves == 0; ++attempt) {
        QVERIFY(xdotool({ u"mousemove_relative"_s, u"1"_s, u"0"_s }));
        if (QTest::qWaitFor([&] { return counter.moves > 0; }, 200))
            break;
    }
    QVERIFY(counter.moves > 0);
    act(counter, { u"mousemove_relative"_s, u"1"_s, u"0"_s });
    counter.keys = 0;
    counter.clicks = 0;
    counter.moves = 0;
}

void TestX11InputMonitor::act(InputCounter &counter, const QStringList &action)
{
    QVERIFY(xdotool(action));
    const bool keySentinel = action.constFirst() != "key"_L1;
    const int before = keySentinel ? counter.keys : counter.clicks;
    QVERIFY(xdotool(keySentinel ? QStringList{ u"key"_s, u"shift"_s }
                                : QStringList{ u"click"_s, u"1"_s }));
    QTRY_COMPARE(keySentinel ? counter.keys : counter.clicks, before + 1);
    if (keySentinel)
        --counter.keys;
    else
        --counter.clicks;
}

void TestX11InputMonitor::countsEachRawEventOnce_data()
{
    QTest::addColumn<QStringList>("action");
    QTest::addColumn<int>("keys");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<int>("moves");

    QTest::newRow("key a") << QStringList{ u"key"_s, u"a"_s } << 1 << 0 << 0;
    QTest::newRow("three keys") << QStringList{ u"key"_s, u"a"_s, u"b"_s, u"c"_s } << 3 << 0 << 0;
    QTest::newRow("click 1") << QStringList{ u"click"_s, u"1"_s } << 0 << 1 << 0;
    QTest::newRow("click 3") << QStringList{ u"click"_s, u"3"_s } << 0 << 1 << 0;
    QTest::newRow("wheel up (button 4)") << QStringList{ u"click"_s, u"4"_s } << 0 << 1 << 0;
    QTest::newRow("wheel down (button 5)") << QStringList{ u"click"_s, u"5"_s } << 0 << 1 << 0;
    QTest::newRow("relative move")
            << QStringList{ u"mousemove_relative"_s, u"5"_s, u"5"_s } << 0 << 0 << 1;
    QTest::newRow("long relative move")
            << QStringList{ u"mousemove_relative"_s, u"300"_s, u"200"_s } << 0 << 0 << 1;
}

void TestX11InputMonitor::countsEachRawEventOnce()
{
    QFETCH(QStringList, action);
    QFETCH(int, keys);
    QFETCH(int, clicks);
    QFETCH(int, moves);
    X11InputMonitor monitor;
    InputCounter counter(monitor);
    monitor.start();
    waitUntilListening(counter);

    act(counter, action);

    QCOMPARE(counter.keys, keys);
    QCOMPARE(counter.clicks, clicks);
    QCOMPARE(counter.moves, moves);
    QCOMPARE(counter.degraded, 0);
    QCOMPARE(counter.emittingThread(), u"input.x11"_s);
    QVERIFY(monitor.isAvailable());
}

void TestX11InputMonitor::countsWhileAnotherClientGrabs()
{
    QProcess helper;
    helper.start(QStringLiteral(CLOCKWARDEN_X11_GRAB_HELPER), QStringList());
    QVERIFY(helper.waitForReadyRead(10000));
    QCOMPARE(helper.readLine().trimmed(), "grabbed"_ba);
    X11InputMonitor monitor;
    InputCounter counter(monitor);
    monitor.start();
    waitUntilListening(counter);

    act(counter, { u"key"_s, u"a"_s });
    act(counter, { u"click"_s, u"4"_s });
    act(counter, { u"mousemove_relative"_s, u"5"_s, u"5"_s });

    QCOMPARE(counter.keys, 1);
    QCOMPARE(counter.clicks, 1);
    QCOMPARE(counter.moves, 1);
    helper.closeWriteChannel();
    QVERIFY(helper.waitForFinished(5000));
    QCOMPARE(helper.exitCode(), 0);
}

void TestX11InputMonitor::doubleStartRunsOneThread()
{
    X11InputMonitor monitor;
    InputCounter counter(monitor);
    monitor.start();
    monitor.start();
    waitUntilListening(counter);

    QCOMPARE(threadsNamed("input.x11"), 1);
    // Two threads would count every event twice.
    act(counter, { u"key"_s, u"a"_s });
    act(counter, { u"mousemove_relative"_s, u"2"_s, u"2"_s });

    QCOMPARE(counter.keys, 1);
    QCOMPARE(counter.moves, 1);
}

void TestX11InputMonitor::stopEndsDeliveryAndStartResumes()
{
    X11InputMonitor monitor;
    InputCounter counter(monitor);
    X11InputMonitor witness;
    InputCounter witnessCounter(witness);
    witness.start();
    monitor.start();
    waitUntilListening(witnessCounter);
    waitUntilListening(counter);

    monitor.stop();
    witnessCounter.keys = 0;
    // Once the witness has the key and the sentinel after it, a running monitor would have too.
    act(witnessCounter, { u"key"_s, u"a"_s });
    QCOMPARE(witnessCounter.keys, 1);
    QCOMPARE(counter.keys, 0);

    monitor.start();
    waitUntilListening(counter);
}

void TestX11InputMonitor::stopWithoutStartDoesNothing()
{
    X11InputMonitor monitor;
    monitor.stop();
    monitor.stop();
    monitor.start();
    monitor.stop();
    monitor.stop();
}

void TestX11InputMonitor::sleepsWhileNoInputComes()
{
    X11InputMonitor monitor;
    InputCounter counter(monitor);
    monitor.start();
    waitUntilListening(counter);
    const qint64 before = contextSwitchesOf("input.x11");
    QVERIFY(before >= 0);

    // A quiet desktop: the thread waits for the server instead of looking every few ms.
    constexpr int quietSeconds = 10;
    QTest::qWait(quietSeconds * 1000);
    const qint64 wakeUps = contextSwitchesOf("input.x11") - before;
    QVERIFY2(wakeUps <= 2 * quietSeconds, qPrintable(u"%1 wake-ups"_s.arg(wakeUps)));
    QCOMPARE(counter.moves + counter.keys + counter.clicks, 0);

    // Still awake to input after the long sleep.
    act(counter, { u"key"_s, u"a"_s });
    act(counter, { u"mousemove_relative"_s, u"3"_s, u"0"_s });
    QCOMPARE(counter.keys, 1);
    QCOMPARE(counter.moves, 1);
}

void TestX11InputMonitor::stopIsNoticedAtOnce()
{
    X11InputMonitor monitor;
    InputCounter counter(monitor);
    monitor.start();
    waitUntilListening(counter);

    QElapsedTimer stopping;
    stopping.start();
    monitor.stop();
    QVERIFY2(stopping.elapsed() < 100, qPrintable(u"%1 ms"_s.arg(stopping.elapsed())));
    // The system thread outlives run() by a moment.
    QTRY_COMPARE(threadsNamed("input.x11"), 0);
}

void TestX11InputMonitor::threadEndsWhenServerGoes()
{
    QProcess server;
    server.start(u"Xvfb"_s, { u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s, u"-noreset"_s });
    QVERIFY(server.waitForReadyRead(10000));
    const QByteArray ownDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":" + server.readLine().trimmed());
    X11InputMonitor monitor;
    InputCounter counter(monitor);
    monitor.start();
    waitUntilListening(counter);
    qputenv("DISPLAY", ownDisplay);
    QCOMPARE(threadsNamed("input.x11"), 1);

    server.kill();
    QVERIFY(server.waitForFinished());

    // The thread ends by itself instead of polling a dead connection for ever.
    QTRY_COMPARE(threadsNamed("input.x11"), 0);
    monitor.stop();
}

void TestX11InputMonitor::logsMissingXInputOncePerTry()
{
    X11InputMonitor monitor(
            [](xcb_connection_t *) -> std::optional<std::uint8_t> { return std::nullopt; });
    InputCounter counter(monitor);

    QVERIFY(logsOncePerTry(monitor, u"X11InputMonitor: XInput2 extension not present"_s));

    QVERIFY(xdotool({ u"key"_s, u"a"_s }));
    QTest::qWait(50);
    QCOMPARE(counter.keys, 0);
    QVERIFY(monitor.isAvailable());
}

void TestX11InputMonitor::logsFailedConnectionOncePerTry()
{
    const auto child = TestSupport::runSelfOnXvfb({ u"--dead-display"_s }, { u"--child-dead"_s });

    QVERIFY(child.finished);
    QCOMPARE(child.standardOutput.trimmed(), "logged once per try"_ba);
    QCOMPARE(child.exitCode, 0);
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child-dead") == 0) {
        QCoreApplication app(argc, argv);
        return runOnDeadDisplay();
    }
    return TestSupport::runTest<QCoreApplication, TestX11InputMonitor>(argc, argv);
}

#include "tst_x11inputmonitor.moc"
