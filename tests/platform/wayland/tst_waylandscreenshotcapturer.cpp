#include <pwd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

#include "DBusMock.h"
#include "LogTail.h"
#include "TestEnvironment.h"
#include "platform/wayland/WaylandScreenshotCapturer.h"
#include "storage/Log.h"

using namespace Qt::StringLiterals;
using Platform::Wayland::WaylandScreenshotCapturer;
using TestSupport::DBusMock;

namespace {

const QString shellName = u"org.gnome.Shell.Screenshot"_s;

// Python for the fake's method body: write_png writes a 2 x 2 red PNG; every call notes the
// requested path and its folder's mode in $HOME/requested. The mock runs the body with separate
// globals and locals, so the helper keeps everything it needs inside.
const QString writePng = uR"(
def write_png(path):
    import struct, zlib
    def chunk(kind, data):
        return (struct.pack('>I', len(data)) + kind + data
                + struct.pack('>I', zlib.crc32(kind + data)))
    rows = b'\x00\xff\x00\x00\xff\x00\x00' * 2
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 2, 2, 8, 2, 0, 0, 0))
                + chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
import os, stat
with open(os.environ['HOME'] + '/requested', 'w') as f:
    f.write('%s %o' % (args[2], stat.S_IMODE(os.stat(os.path.dirname(args[2])).st_mode)))
)"_s;

QString foreignFile()
{
    return TestSupport::TestEnvironment::current()->home() + u"/foreign.png"_s;
}

} // namespace

class TestWaylandScreenshotCapturer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void withoutTheShellIsUnavailableAndCallsNothing();
    void capturesOneImageAndDeletesTheFile();
    void reportsEveryFailure_data();
    void reportsEveryFailure();
    void keepsAFileItDidNotAskFor();
    void withoutRuntimeDirectoryAsksForAPrivateFolder();

private:
    bool startShell(const QString &body, const QString &outSignature = u"bs"_s);
    // The path the fake was asked to write, and the mode of its folder.
    QStringList lastRequest() const;

    std::unique_ptr<DBusMock> m_shell;
    std::optional<LogTail> m_log;
};

void TestWaylandScreenshotCapturer::initTestCase()
{
    Core::Log::install();
}

void TestWaylandScreenshotCapturer::init()
{
    m_log.emplace();
}

void TestWaylandScreenshotCapturer::cleanup()
{
    m_shell.reset();
    QFile::remove(foreignFile());
}

bool TestWaylandScreenshotCapturer::startShell(const QString &body, const QString &outSignature)
{
    m_shell = std::make_unique<DBusMock>(QString(), DBusMock::Bus::Session);
    return m_shell->start(shellName, u"/org/gnome/Shell/Screenshot"_s, shellName)
           && m_shell->addMethod(shellName, u"Screenshot"_s, u"bbs"_s, outSignature,
                                 writePng + body);
}

QStringList TestWaylandScreenshotCapturer::lastRequest() const
{
    QFile file(TestSupport::TestEnvironment::current()->home() + u"/requested"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u' ');
}

void TestWaylandScreenshotCapturer::withoutTheShellIsUnavailableAndCallsNothing()
{
    WaylandScreenshotCapturer capturer;
    QVERIFY(!capturer.isAvailable());
    QCOMPARE(m_log->count(u"[INFO] [config]"_s,
                          u"WaylandScreenshotCapturer: org.gnome.Shell.Screenshot unavailable"_s),
             1);
    QVERIFY(capturer.captureScreens().isEmpty());
    QCOMPARE(m_log->lines().size(), 1);
}

void TestWaylandScreenshotCapturer::capturesOneImageAndDeletesTheFile()
{
    QVERIFY(startShell(u"write_png(args[2])\nret = (True, args[2])"_s));
    WaylandScreenshotCapturer capturer;
    QVERIFY(capturer.isAvailable());
    QCOMPARE(m_log->count(u"[INFO] [config]"_s,
                          u"WaylandScreenshotCapturer: org.gnome.Shell.Screenshot available"_s),
             1);

    const QList<QImage> images = capturer.captureScreens();
    QCOMPARE(images.size(), 1);
    QCOMPARE(images.first().size(), QSize(2, 2));
    QCOMPARE(images.first().pixel(1, 1), qRgb(0xff, 0, 0));

    const QString expected
            = TestSupport::TestEnvironment::current()->runtimeDir() + u"/tembrix-wlshot.png"_s;
    QCOMPARE(lastRequest().value(0), expected);
    QVERIFY(!QFile::exists(expected));
    const QList<DBusMock::Call> calls = m_shell->calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().arguments, (QVariantList{ true, false, expected }));
    QCOMPARE(m_log->count(u"[ERROR] [config]"_s, QString()), 0);
}

void TestWaylandScreenshotCapturer::reportsEveryFailure_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("outSignature");
    QTest::addColumn<QString>("message");
    // Only a file that was loaded is deleted at once; another goes before the next call.
    QTest::addColumn<bool>("fileLeft");
    QTest::newRow("no file") << u"ret = (True, '')"_s << u"bs"_s
                             << u"Shell.Screenshot returned no file"_s << false;
    QTest::newRow("not successful") << u"write_png(args[2])\nret = (False, args[2])"_s << u"bs"_s
                                    << u"Shell.Screenshot returned no file"_s << true;
    QTest::newRow("one argument") << u"ret = True"_s << u"b"_s << u"Shell.Screenshot failed: "_s
                                  << false;
    QTest::newRow("garbage") << u"open(args[2], 'w').write('no image')\nret = (True, args[2])"_s
                             << u"bs"_s << u"Shell.Screenshot: could not load %1"_s << false;
    QTest::newRow("D-Bus error") << u"raise dbus.exceptions.DBusException('shell says no', "
                                    "name='org.gnome.Shell.Error')"_s
                                 << u"bs"_s << u"Shell.Screenshot failed: shell says no"_s << false;
}

void TestWaylandScreenshotCapturer::reportsEveryFailure()
{
    QFETCH(QString, body);
    QFETCH(QString, outSignature);
    QFETCH(QString, message);
    QFETCH(bool, fileLeft);
    QVERIFY(startShell(body, outSignature));
    WaylandScreenshotCapturer capturer;

    QVERIFY(capturer.captureScreens().isEmpty());
    const QString requested
            = TestSupport::TestEnvironment::current()->runtimeDir() + u"/tembrix-wlshot.png"_s;
    QCOMPARE(m_log->count(u"[ERROR] [config]"_s, message.arg(requested)), 1);
    QCOMPARE(QFile::exists(requested), fileLeft);
    QVERIFY(capturer.isAvailable());
}

void TestWaylandScreenshotCapturer::keepsAFileItDidNotAskFor()
{
    QVERIFY(startShell(u"write_png(%1)\nret = (True, %1)"_s.arg(u"'"_s + foreignFile() + u"'"_s)));
    WaylandScreenshotCapturer capturer;

    const QList<QImage> images = capturer.captureScreens();
    QCOMPARE(images.size(), 1);
    QCOMPARE(images.first().pixel(0, 0), qRgb(0xff, 0, 0));
    QVERIFY(QFile::exists(foreignFile()));
}

void TestWaylandScreenshotCapturer::withoutRuntimeDirectoryAsksForAPrivateFolder()
{
    // Qt falls back to <temp>/runtime-<user>; a file in its place leaves no runtime location.
    const QString temp = TestSupport::TestEnvironment::current()->root() + u"/tmp"_s;
    QVERIFY(QDir().mkpath(temp));
    const QString user = QString::fromLocal8Bit(getpwuid(getuid())->pw_name);
    QFile blocker(temp + u"/runtime-"_s + user);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(temp));
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qunsetenv("TMPDIR");
    });
    QVERIFY(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation).isEmpty());

    QVERIFY(startShell(u"write_png(args[2])\nret = (True, args[2])"_s));
    WaylandScreenshotCapturer capturer;
    QCOMPARE(capturer.captureScreens().size(), 1);

    const QStringList request = lastRequest();
    QCOMPARE(request.size(), 2);
    const QFileInfo requested(request.at(0));
    QCOMPARE(requested.absoluteDir().absolutePath().section(u'/', 0, -2), temp);
    QVERIFY(requested.absolutePath() != temp);
    QCOMPARE(request.at(1), u"700"_s);
    QVERIFY(!requested.exists());
    QVERIFY(!QFileInfo::exists(requested.absolutePath()));
    QVERIFY(!QFile::exists(temp + u"/tembrix-wlshot-%1.png"_s.arg(getuid())));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestWaylandScreenshotCapturer)

#include "tst_waylandscreenshotcapturer.moc"
