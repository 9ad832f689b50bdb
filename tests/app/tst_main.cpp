#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

// The program itself, started as a child process.
class TestMain : public QObject
{
    Q_OBJECT

private slots:
    void refusesWithoutDisplay_data();
    void refusesWithoutDisplay();
};

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
