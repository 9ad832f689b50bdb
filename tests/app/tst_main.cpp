#include "ChildProcess.h"
#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <csignal>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QString readLog(const FreshXdgRoot &root)
{
    QFile file(root.logsDir() + "/app.log"_L1);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Starts the program on the test's display with its own folders, and waits until it has wired
// its services (the database exists).
bool startProgram(QProcess &program, const FreshXdgRoot &root)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(CLOCKWARDEN_PROGRAM), {});
    if (!program.waitForStarted())
        return false;
    const QString database = root.dataDir() + "/clockwarden.sqlite"_L1;
    for (int waited = 0; waited < 30000; waited += 50) {
        if (QFileInfo::exists(database) && readLog(root).contains("starting"_L1))
            return true;
        if (program.state() == QProcess::NotRunning)
            return false;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

// The program itself, started as a child process.
class TestMain : public QObject
{
    Q_OBJECT

private slots:
    void refusesWithoutDisplay_data();
    void refusesWithoutDisplay();
    void terminationSignalQuitsInOrder_data();
    void terminationSignalQuitsInOrder();
    void createdFilesArePrivate();
};

void TestMain::terminationSignalQuitsInOrder_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QString>("name");
    QTest::newRow("SIGTERM (logout)") << SIGTERM << u"SIGTERM"_s;
    QTest::newRow("SIGINT (Ctrl-C)") << SIGINT << u"SIGINT"_s;
    QTest::newRow("SIGHUP (terminal closed)") << SIGHUP << u"SIGHUP"_s;
}

void TestMain::terminationSignalQuitsInOrder()
{
    QFETCH(int, signalNumber);
    QFETCH(QString, name);
    const FreshXdgRoot root;
    QProcess program;
    QVERIFY(startProgram(program, root));

    QCOMPARE(::kill(pid_t(program.processId()), signalNumber), 0);
    const bool finished = program.waitForFinished(30000);
    if (!finished)
        TestSupport::stopChildProcess(program);
    QVERIFY(finished);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    const QString log = readLog(root);
    QVERIFY2(log.contains(u"[INFO] [config] Received %1; quitting"_s.arg(name)), qPrintable(log));
    // The orderly end released the instance lock.
    QVERIFY(!QFileInfo::exists(
            root.path(u"runtime/tembrix-clockwarden/tembrix-clockwarden.lock"_s)));
}

void TestMain::createdFilesArePrivate()
{
    // A desktop session's usual umask, which would leave everything readable by all.
    const mode_t previous = ::umask(022);
    const FreshXdgRoot root;
    QProcess program;
    const bool started = startProgram(program, root);
    ::umask(previous);
    QVERIFY(started);
    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(30000));

    QStringList open;
    int checked = 0;
    QDirIterator it(QFileInfo(root.home()).path(),
                    QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        // The home folder itself is the fixture's.
        if (path == root.home())
            continue;
        struct stat info
        {
        };
        QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
        if (S_ISLNK(info.st_mode))
            continue;
        ++checked;
        if ((info.st_mode & 077) != 0)
            open << u"%1 %2"_s.arg(info.st_mode & 0777, 0, 8).arg(path);
    }
    QVERIFY2(open.isEmpty(), qPrintable(open.join(u'\n')));
    // The database, the log and their folders at least.
    QVERIFY(checked >= 8);
}

void TestMain::refusesWithoutDisplay_data()
{
    QTest::addColumn<QString>("sessionType");
    QTest::newRow("nothing set") << QString();
    // The session claims X11, but there is no display to open.
    QTest::newRow("x11 without DISPLAY") << u"x11"_s;
}

void TestMain::refusesWithoutDisplay()
{
    QFETCH(QString, sessionType);
    const TestSupport::TestEnvironment &environment = *TestSupport::TestEnvironment::current();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(u"DISPLAY"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"TEMBRIX_FORCE_PLATFORM"_s);
    env.remove(u"XDG_SESSION_TYPE"_s);
    if (!sessionType.isEmpty())
        env.insert(u"XDG_SESSION_TYPE"_s, sessionType);

    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(CLOCKWARDEN_PROGRAM), {});
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);

    const QString text = u"No display server detected (DISPLAY/XDG_SESSION_TYPE unset). Tembrix "
                         u"Clockwarden requires an X11 graphical session to run."_s;
    QVERIFY(QString::fromUtf8(program.readAllStandardError()).contains(text));

    QString log;
    const QStringList logs = QDir(environment.stateHome())
                                     .entryList({ u"*"_s }, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : logs) {
        QFile file(environment.stateHome() + u'/' + entry + u"/logs/app.log"_s);
        if (file.open(QIODevice::ReadOnly))
            log += QString::fromUtf8(file.readAll());
    }
    QVERIFY2(log.contains(u"[ERROR] [config] "_s + text), qPrintable(log));

    // No instance lock was taken.
    QDir runtime(environment.runtimeDir());
    const QStringList locks = runtime.entryList({ u"*.lock"_s }, QDir::Files | QDir::Hidden);
    QVERIFY2(locks.isEmpty(), qPrintable(locks.join(u", ")));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestMain)
#include "tst_main.moc"
