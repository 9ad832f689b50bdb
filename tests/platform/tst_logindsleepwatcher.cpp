#include "DBusMock.h"
#include "SelfProcess.h"
#include "TestEnvironment.h"
#include "platform/LogindSleepWatcher.h"

#include <QSignalSpy>
#include <QTest>

#include <cstring>

using namespace Qt::StringLiterals;
using Platform::LogindSleepWatcher;
using TestSupport::DBusMock;

namespace {

const auto managerInterface = u"org.freedesktop.login1.Manager"_s;

// The watcher's two signals in the order they came.
class SleepRecorder final
{
public:
    explicit SleepRecorder(LogindSleepWatcher &watcher)
    {
        QObject::connect(&watcher, &LogindSleepWatcher::aboutToSleep, &m_context,
                         [this] { m_events.append(u"sleep"_s); });
        QObject::connect(&watcher, &LogindSleepWatcher::awoke, &m_context,
                         [this] { m_events.append(u"wake"_s); });
    }

    QStringList events() const { return m_events; }

private:
    QObject m_context;
    QStringList m_events;
};

// Child role: a system bus that cannot be reached; start twice.
int startTwiceWithoutSystemBus()
{
    LogindSleepWatcher watcher;
    watcher.start();
    watcher.start();
    return 0;
}

} // namespace

class TestLogindSleepWatcher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void turnsSleepNoticesIntoSignals();
    void doubleStartDeliversOnce();
    void stopSilencesAndStartSubscribesAgain();
    void warnsOnEachStartWithoutSystemBus();

private:
    bool prepareForSleep(bool starting)
    {
        return m_logind->emitSignal(managerInterface, u"PrepareForSleep"_s, u"b"_s, { starting });
    }

    std::unique_ptr<DBusMock> m_logind;
};

void TestLogindSleepWatcher::initTestCase()
{
    m_logind = std::make_unique<DBusMock>(u"logind"_s, DBusMock::Bus::System);
    QVERIFY(m_logind->start(u"org.freedesktop.login1"_s, u"/org/freedesktop/login1"_s));
}

void TestLogindSleepWatcher::turnsSleepNoticesIntoSignals()
{
    LogindSleepWatcher watcher;
    SleepRecorder recorder(watcher);
    watcher.start();

    QVERIFY(prepareForSleep(true));
    QVERIFY(prepareForSleep(false));
    QVERIFY(prepareForSleep(false));

    // Nothing is filtered: two wake notices give two emissions.
    QTRY_COMPARE(recorder.events(), (QStringList{ u"sleep"_s, u"wake"_s, u"wake"_s }));
}

void TestLogindSleepWatcher::doubleStartDeliversOnce()
{
    LogindSleepWatcher watcher;
    SleepRecorder recorder(watcher);
    watcher.start();
    watcher.start();

    QVERIFY(prepareForSleep(true));
    QVERIFY(prepareForSleep(false));

    QTRY_COMPARE(recorder.events().size(), 2);
    QCOMPARE(recorder.events(), (QStringList{ u"sleep"_s, u"wake"_s }));
}

void TestLogindSleepWatcher::stopSilencesAndStartSubscribesAgain()
{
    LogindSleepWatcher watcher;
    SleepRecorder recorder(watcher);
    LogindSleepWatcher witness;
    SleepRecorder witnessRecorder(witness);
    watcher.stop();
    watcher.start();
    watcher.stop();
    witness.start();

    QVERIFY(prepareForSleep(true));
    // The bus delivers in order: once the witness has it, the stopped watcher would have too.
    QTRY_COMPARE(witnessRecorder.events(), QStringList{ u"sleep"_s });
    QCOMPARE(recorder.events(), QStringList());

    watcher.start();
    QVERIFY(prepareForSleep(false));
    QTRY_COMPARE(recorder.events(), QStringList{ u"wake"_s });
}

void TestLogindSleepWatcher::warnsOnEachStartWithoutSystemBus()
{
    // Qt connects to the system bus once per process, so the unreachable bus gets a child.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
            u"DBUS_SYSTEM_BUS_ADDRESS"_s,
            u"unix:path=%1/no-bus"_s.arg(TestSupport::TestEnvironment::current()->root()));
    const auto child = TestSupport::runSelf({ u"--child-without-bus"_s }, environment);

    QVERIFY(child.finished);
    QCOMPARE(child.exitStatus, QProcess::NormalExit);
    QCOMPARE(child.exitCode, 0);
    QCOMPARE(
            child.standardError.count("LogindSleepWatcher: failed to subscribe to PrepareForSleep"),
            2);
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child-without-bus") == 0) {
        QCoreApplication app(argc, argv);
        return startTwiceWithoutSystemBus();
    }
    return TestSupport::runTest<QCoreApplication, TestLogindSleepWatcher>(argc, argv);
}

#include "tst_logindsleepwatcher.moc"
