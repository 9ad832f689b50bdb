#include "FreshXdgRoot.h"
#include "SelfProcess.h"
#include "TestEnvironment.h"
#include "platform/SingleInstanceGuard.h"
#include "storage/Paths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <memory>

#include <cerrno>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Platform::SingleInstanceGuard;

namespace {

QString socketPath()
{
    return Platform::Paths::runtimeDir() + "/tembrix-clockwarden.sock"_L1;
}

QString lockPath()
{
    return Platform::Paths::runtimeDir() + "/tembrix-clockwarden.lock"_L1;
}

// Child role: a second instance, which prints whether it got the lock.
int runSecondInstance()
{
    SingleInstanceGuard guard;
    std::puts(guard.tryAcquire() ? "acquired" : "refused");
    return 0;
}

// Child role: an instance that holds the lock until killed and reports every show request.
int runHoldingInstance(QCoreApplication &app)
{
    SingleInstanceGuard guard;
    QObject::connect(&guard, &SingleInstanceGuard::showRequested, &app, [] {
        std::puts("show");
        std::fflush(stdout);
    });
    std::puts(guard.tryAcquire() ? "held" : "refused");
    std::fflush(stdout);
    return app.exec();
}

QByteArray secondInstance()
{
    const auto child = TestSupport::runSelf({ u"--child-second"_s });
    return child.finished ? child.standardOutput.trimmed() : "did not finish"_ba;
}

// A holding instance in a child process, killed when the object goes.
class HoldingInstance final
{
public:
    HoldingInstance()
    {
        m_process.start(QCoreApplication::applicationFilePath(), { u"--child-hold"_s });
    }
    ~HoldingInstance() { kill(); }

    HoldingInstance(const HoldingInstance &) = delete;
    HoldingInstance &operator=(const HoldingInstance &) = delete;

    QByteArray waitForLine()
    {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(10000))
            return {};
        return m_process.readLine().trimmed();
    }

    // SIGKILL: the lock file and the socket stay behind, as after a crash.
    void kill()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
};

// A client that sends its bytes and stays connected.
std::unique_ptr<QLocalSocket> sendRaw(const QByteArray &bytes)
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(socketPath());
    if (!socket->waitForConnected(1000))
        return nullptr;
    socket->write(bytes);
    socket->flush();
    return socket;
}

} // namespace

class TestSingleInstanceGuard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondProcessIsRefusedAndAsksForShow();
    void looksForShowAnywhereInFirstRead_data();
    void looksForShowAnywhereInFirstRead();
    void splitMessageIsDropped();
    void twoQuickConnectionsEachAskOnce();
    void takesOverLockOfDeadProcess();
    void keepsLockOfLiveHolderHoweverOld();
    void reachesFirstInstanceWithoutXdgRuntimeDir();
    void lockThatCannotBeCreatedSaysWhy_data();
    void lockThatCannotBeCreatedSaysWhy();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestSingleInstanceGuard::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
}

void TestSingleInstanceGuard::cleanup()
{
    m_root.reset();
}

void TestSingleInstanceGuard::secondProcessIsRefusedAndAsksForShow()
{
    SingleInstanceGuard guard;
    QSignalSpy shows(&guard, &SingleInstanceGuard::showRequested);
    QVERIFY(guard.tryAcquire());
    QVERIFY(QFile::exists(lockPath()));

    QCOMPARE(secondInstance(), "refused"_ba);

    QTRY_COMPARE(shows.size(), 1);
    QTest::qWait(100);
    QCOMPARE(shows.size(), 1);
}

void TestSingleInstanceGuard::looksForShowAnywhereInFirstRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expectedShows");

    QTest::newRow("exactly Show") << "Show"_ba << 1;
    QTest::newRow("Show between other bytes") << "xxShowyy"_ba << 1;
    QTest::newRow("Show twice in one read") << "ShowShow"_ba << 1;
    QTest::newRow("other case") << "show"_ba << 0;
    QTest::newRow("other bytes") << "Hello"_ba << 0;
}

void TestSingleInstanceGuard::looksForShowAnywhereInFirstRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, expectedShows);
    SingleInstanceGuard guard;
    QSignalSpy shows(&guard, &SingleInstanceGuard::showRequested);
    QVERIFY(guard.tryAcquire());

    const auto client = sendRaw(bytes);
    QVERIFY(client);

    // The guard drops every connection after its first read.
    QTRY_COMPARE(client->state(), QLocalSocket::UnconnectedState);
    QCOMPARE(shows.size(), expectedShows);
}

void TestSingleInstanceGuard::splitMessageIsDropped()
{
    SingleInstanceGuard guard;
    QSignalSpy shows(&guard, &SingleInstanceGuard::showRequested);
    QVERIFY(guard.tryAcquire());

    const auto client = sendRaw("Sh"_ba);
    QVERIFY(client);
    QTRY_COMPARE(client->state(), QLocalSocket::UnconnectedState);
    client->write("ow");
    client->flush();
    QTest::qWait(100);

    QCOMPARE(shows.size(), 0);
}

void TestSingleInstanceGuard::twoQuickConnectionsEachAskOnce()
{
    SingleInstanceGuard guard;
    QSignalSpy shows(&guard, &SingleInstanceGuard::showRequested);
    QVERIFY(guard.tryAcquire());

    const auto first = sendRaw("Show"_ba);
    const auto second = sendRaw("Show"_ba);
    QVERIFY(first && second);

    QTRY_COMPARE(shows.size(), 2);
    QTRY_COMPARE(second->state(), QLocalSocket::UnconnectedState);
    QCOMPARE(shows.size(), 2);
}

void TestSingleInstanceGuard::takesOverLockOfDeadProcess()
{
    HoldingInstance holder;
    QCOMPARE(holder.waitForLine(), "held"_ba);
    holder.kill();
    QVERIFY(QFile::exists(lockPath()));

    SingleInstanceGuard guard;
    QSignalSpy shows(&guard, &SingleInstanceGuard::showRequested);
    QVERIFY(guard.tryAcquire());
    // The dead holder's socket file was replaced, so the next instance reaches us.
    QCOMPARE(secondInstance(), "refused"_ba);
    QTRY_COMPARE(shows.size(), 1);
}

void TestSingleInstanceGuard::keepsLockOfLiveHolderHoweverOld()
{
    HoldingInstance holder;
    QCOMPARE(holder.waitForLine(), "held"_ba);
    QFile lock(lockPath());
    QVERIFY(lock.open(QIODevice::ReadWrite));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-1),
                             QFileDevice::FileModificationTime));
    lock.close();

    SingleInstanceGuard guard;
    QVERIFY(!guard.tryAcquire());
    QCOMPARE(holder.waitForLine(), "show"_ba);
}

void TestSingleInstanceGuard::reachesFirstInstanceWithoutXdgRuntimeDir()
{
    qunsetenv("XDG_RUNTIME_DIR");
    FreshXdgRoot::set("TMPDIR", m_root->path(u"tmp"_s));
    QVERIFY(QDir().mkpath(m_root->path(u"tmp"_s)));
    SingleInstanceGuard guard;
    QSignalSpy shows(&guard, &SingleInstanceGuard::showRequested);
    QVERIFY(guard.tryAcquire());
    QVERIFY(lockPath().startsWith(m_root->path(u"tmp/tembrix-clockwarden"_s)));

    QCOMPARE(secondInstance(), "refused"_ba);

    QTRY_COMPARE(shows.size(), 1);
}

enum class LockFault { FolderInPlace, FileForRuntimeFolder, ReadOnlyRuntimeFolder };

void TestSingleInstanceGuard::lockThatCannotBeCreatedSaysWhy_data()
{
    QTest::addColumn<LockFault>("fault");
    QTest::addColumn<QString>("reason");

    QTest::newRow("a folder where the lock goes")
            << LockFault::FolderInPlace << QString::fromLocal8Bit(std::strerror(EISDIR));
    QTest::newRow("a file where the runtime folder goes")
            << LockFault::FileForRuntimeFolder << QString::fromLocal8Bit(std::strerror(ENOTDIR));
    QTest::newRow("a read-only runtime folder")
            << LockFault::ReadOnlyRuntimeFolder << QString::fromLocal8Bit(std::strerror(EACCES));
}

void TestSingleInstanceGuard::lockThatCannotBeCreatedSaysWhy()
{
    QFETCH(LockFault, fault);
    QFETCH(QString, reason);
    const QString runtime = m_root->path(u"runtime/tembrix-clockwarden"_s);
    const QString lock = runtime + "/tembrix-clockwarden.lock"_L1;
    switch (fault) {
    case LockFault::FolderInPlace:
        QVERIFY(QDir().mkpath(lock));
        break;
    case LockFault::FileForRuntimeFolder:
        QVERIFY(QDir().mkpath(m_root->path(u"runtime"_s)));
        QVERIFY(QFile(runtime).open(QIODevice::WriteOnly));
        break;
    case LockFault::ReadOnlyRuntimeFolder:
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QVERIFY(QDir().mkpath(runtime));
        QCOMPARE(::chmod(QFile::encodeName(runtime).constData(), 0500), 0);
        break;
    }

    SingleInstanceGuard guard;
    QVERIFY(!guard.tryAcquire());
    QCOMPARE(guard.lockError(), u"Cannot create the instance lock %1: %2"_s.arg(lock, reason));
    if (fault == LockFault::ReadOnlyRuntimeFolder)
        ::chmod(QFile::encodeName(runtime).constData(), 0700);
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child-second") == 0) {
        QCoreApplication app(argc, argv);
        return runSecondInstance();
    }
    if (argc > 1 && std::strcmp(argv[1], "--child-hold") == 0) {
        QCoreApplication app(argc, argv);
        return runHoldingInstance(app);
    }
    return TestSupport::runTest<QCoreApplication, TestSingleInstanceGuard>(argc, argv);
}

#include "tst_singleinstanceguard.moc"
