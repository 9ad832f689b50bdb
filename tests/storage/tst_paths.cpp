#include "TestEnvironment.h"

#include "FreshXdgRoot.h"
#include "storage/Paths.h"

#include <QFileInfo>
#include <QTest>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
namespace Paths = Platform::Paths;

namespace {

enum class Directory { Config, Data, State };

QString directory(Directory which)
{
    switch (which) {
    case Directory::Config:
        return Paths::configDir();
    case Directory::Data:
        return Paths::dataDir();
    case Directory::State:
        return Paths::stateDir();
    }
    return {};
}

bool isDir(const QString &path)
{
    return QFileInfo(path).isDir();
}

} // namespace

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void derivesDirectoriesFromEnvironment_data();
    void derivesDirectoriesFromEnvironment();
    void keepsVariableValueUnchanged();
    void placesDatabaseUnderDataHome();
    void runtimeDirFallsBackToPrivateTemporaryDirectory_data();
    void runtimeDirFallsBackToPrivateTemporaryDirectory();
    void runtimeDirUsesXdgRuntimeDir();
    void namesFixedFiles();
    void capturesRootDoesNotCreateCapturesFolder();
    void capturesDirForCreatesWholePath();
    void logFilePathCreatesLogsFolderOnly();
    void uncreatableDirectoryStillYieldsPath();
    void directoriesArePrivate();
    void runtimeDirMakesOneForTheRunWhenBothNamesAreTaken_data();
    void runtimeDirMakesOneForTheRunWhenBothNamesAreTaken();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestPaths::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
}

void TestPaths::cleanup()
{
    m_root.reset();
}

void TestPaths::derivesDirectoriesFromEnvironment_data()
{
    QTest::addColumn<Directory>("which");
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expectedBase");

    QTest::newRow("config from its variable")
            << Directory::Config << "XDG_CONFIG_HOME"_ba << u"xdg-config"_s << u"xdg-config"_s;
    QTest::newRow("empty config variable counts as unset")
            << Directory::Config << "XDG_CONFIG_HOME"_ba << QString() << u"home/.config"_s;
    QTest::newRow("data from its variable")
            << Directory::Data << "XDG_DATA_HOME"_ba << u"xdg-data"_s << u"xdg-data"_s;
    QTest::newRow("empty data variable counts as unset")
            << Directory::Data << "XDG_DATA_HOME"_ba << QString() << u"home/.local/share"_s;
    QTest::newRow("state from its variable")
            << Directory::State << "XDG_STATE_HOME"_ba << u"xdg-state"_s << u"xdg-state"_s;
    QTest::newRow("empty state variable counts as unset")
            << Directory::State << "XDG_STATE_HOME"_ba << QString() << u"home/.local/state"_s;
}

void TestPaths::derivesDirectoriesFromEnvironment()
{
    QFETCH(Directory, which);
    QFETCH(QByteArray, variable);
    QFETCH(QString, value);
    QFETCH(QString, expectedBase);
    FreshXdgRoot::set(variable.constData(), value.isEmpty() ? QString() : m_root->path(value));

    const QString expected = m_root->path(expectedBase) + "/TembrixClockwarden"_L1;
    QCOMPARE(directory(which), expected);
    QVERIFY(isDir(expected));
}

void TestPaths::keepsVariableValueUnchanged()
{
    FreshXdgRoot::set("XDG_CONFIG_HOME", m_root->path(u"config/"_s));

    QCOMPARE(Paths::configDir(), m_root->path(u"config//TembrixClockwarden"_s));
    QVERIFY(isDir(m_root->configDir()));
}

void TestPaths::placesDatabaseUnderDataHome()
{
    QCOMPARE(Paths::databasePath(), m_root->dataDir() + "/clockwarden.sqlite"_L1);
    QVERIFY(isDir(m_root->dataDir()));
    QVERIFY(!QFileInfo::exists(m_root->dataDir() + "/clockwarden.sqlite"_L1));
}

enum class Squatter { None, OwnDirectoryOpen, File, Symlink, OtherUsersDirectory };

void TestPaths::runtimeDirFallsBackToPrivateTemporaryDirectory_data()
{
    QTest::addColumn<Squatter>("squatter");
    QTest::addColumn<bool>("plainName");

    QTest::newRow("missing: plain name") << Squatter::None << true;
    QTest::newRow("own directory open to all: plain name, closed")
            << Squatter::OwnDirectoryOpen << true;
    QTest::newRow("a file there: uid name") << Squatter::File << false;
    QTest::newRow("a link to own directory there: uid name") << Squatter::Symlink << false;
    QTest::newRow("another user's directory: uid name") << Squatter::OtherUsersDirectory << false;
}

void TestPaths::runtimeDirFallsBackToPrivateTemporaryDirectory()
{
    QFETCH(Squatter, squatter);
    QFETCH(bool, plainName);
    qunsetenv("XDG_RUNTIME_DIR");
    const QString tmp = m_root->path(u"tmp"_s);
    FreshXdgRoot::set("TMPDIR", tmp);
    QVERIFY(QDir().mkpath(tmp));
    const QString plain = tmp + "/tembrix-clockwarden"_L1;
    const QByteArray nativePlain = QFile::encodeName(plain);
    switch (squatter) {
    case Squatter::None:
        break;
    case Squatter::OwnDirectoryOpen:
        QVERIFY(QDir().mkpath(plain));
        QCOMPARE(::chmod(nativePlain.constData(), 0777), 0);
        break;
    case Squatter::File:
        QVERIFY(QFile(plain).open(QIODevice::WriteOnly));
        break;
    case Squatter::Symlink:
        QVERIFY(QDir().mkpath(m_root->path(u"elsewhere"_s)));
        QVERIFY(QFile::link(m_root->path(u"elsewhere"_s), plain));
        break;
    case Squatter::OtherUsersDirectory:
        if (::geteuid() != 0)
            QSKIP("only root can make a directory owned by someone else");
        QVERIFY(QDir().mkpath(plain));
        QCOMPARE(::chown(nativePlain.constData(), 65534, 65534), 0);
        break;
    }

    const QString expected = plainName ? plain : plain + u'-' + QString::number(::geteuid());
    QCOMPARE(Paths::runtimeDir(), expected);
    struct stat info
    {
    };
    QCOMPARE(::lstat(QFile::encodeName(expected).constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_uid, ::geteuid());
    QCOMPARE(info.st_mode & 07777, mode_t(0700));
    // A second call finds the same place.
    QCOMPARE(Paths::runtimeDir(), expected);
}

void TestPaths::runtimeDirUsesXdgRuntimeDir()
{
    // No application-name level under the runtime root.
    QCOMPARE(Paths::runtimeDir(), m_root->path(u"runtime/tembrix-clockwarden"_s));
    QVERIFY(isDir(m_root->path(u"runtime/tembrix-clockwarden"_s)));
}

void TestPaths::namesFixedFiles()
{
    QCOMPARE(Paths::configFilePath(), m_root->configDir() + "/config.json"_L1);
    QVERIFY(isDir(m_root->configDir()));
    QVERIFY(!QFileInfo::exists(Paths::configFilePath()));
}

void TestPaths::capturesRootDoesNotCreateCapturesFolder()
{
    QCOMPARE(Paths::capturesRoot(), m_root->dataDir() + "/captures"_L1);
    QVERIFY(isDir(m_root->dataDir()));
    QVERIFY(!QFileInfo::exists(m_root->dataDir() + "/captures"_L1));
}

void TestPaths::capturesDirForCreatesWholePath()
{
    QCOMPARE(Paths::capturesDirFor(u"global"_s), m_root->dataDir() + "/captures/global"_L1);
    QVERIFY(isDir(m_root->dataDir() + "/captures/global"_L1));
}

void TestPaths::logFilePathCreatesLogsFolderOnly()
{
    QCOMPARE(Paths::logFilePath(), m_root->logsDir() + "/app.log"_L1);
    QVERIFY(isDir(m_root->logsDir()));
    QVERIFY(!QFileInfo::exists(m_root->logsDir() + "/app.log"_L1));
}

void TestPaths::uncreatableDirectoryStillYieldsPath()
{
    // A regular file where a parent directory should be: permission bits would not stop root.
    const QString blocker = m_root->path(u"blocker"_s);
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    FreshXdgRoot::set("XDG_DATA_HOME", blocker);

    QCOMPARE(Paths::capturesDirFor(u"global"_s),
             blocker + "/TembrixClockwarden/captures/global"_L1);
    QVERIFY(!QFileInfo::exists(blocker + "/TembrixClockwarden"_L1));
    QCOMPARE(Paths::ensureDir(blocker + "/x"_L1), blocker + "/x"_L1);
}

void TestPaths::directoriesArePrivate()
{
    // Our own folder as an earlier version left it, open to all, under a desktop's lax umask.
    QVERIFY(QDir().mkpath(m_root->configDir()));
    QCOMPARE(::chmod(QFile::encodeName(m_root->configDir()).constData(), 0755), 0);
    const mode_t previous = ::umask(022);
    Paths::configDir();
    Paths::capturesDirFor(u"global"_s);
    Paths::logFilePath();
    Paths::runtimeDir();
    ::umask(previous);

    const QStringList made{
        m_root->configDir(),
        m_root->path(u"data"_s),
        m_root->dataDir(),
        m_root->dataDir() + "/captures"_L1,
        m_root->dataDir() + "/captures/global"_L1,
        m_root->path(u"state"_s),
        m_root->path(u"state/TembrixClockwarden"_s),
        m_root->logsDir(),
        m_root->path(u"runtime/tembrix-clockwarden"_s),
    };
    for (const QString &path : made) {
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QVERIFY2((info.st_mode & 0777) == 0700,
                 qPrintable(u"%1 %2"_s.arg(info.st_mode & 0777, 0, 8).arg(path)));
    }
}

void TestPaths::runtimeDirMakesOneForTheRunWhenBothNamesAreTaken_data()
{
    QTest::addColumn<Squatter>("squatter");
    QTest::newRow("a file under the uid name") << Squatter::File;
    QTest::newRow("a link under the uid name") << Squatter::Symlink;
    QTest::newRow("another user's directory under the uid name") << Squatter::OtherUsersDirectory;
}

void TestPaths::runtimeDirMakesOneForTheRunWhenBothNamesAreTaken()
{
    QFETCH(Squatter, squatter);
    qunsetenv("XDG_RUNTIME_DIR");
    const QString tmp = m_root->path(u"tmp"_s);
    FreshXdgRoot::set("TMPDIR", tmp);
    QVERIFY(QDir().mkpath(tmp));
    const QString plain = tmp + "/tembrix-clockwarden"_L1;
    const QString own = plain + u'-' + QString::number(::geteuid());
    // The plain name is someone's file; the uid name is taken as the row says.
    QVERIFY(QFile(plain).open(QIODevice::WriteOnly));
    switch (squatter) {
    case Squatter::File:
        QVERIFY(QFile(own).open(QIODevice::WriteOnly));
        break;
    case Squatter::Symlink:
        QVERIFY(QDir().mkpath(m_root->path(u"elsewhere"_s)));
        QVERIFY(QFile::link(m_root->path(u"elsewhere"_s), own));
        break;
    default:
        if (::geteuid() != 0)
            QSKIP("only root can make a directory owned by someone else");
        QVERIFY(QDir().mkpath(own));
        QCOMPARE(::chown(QFile::encodeName(own).constData(), 65534, 65534), 0);
        break;
    }

    const QString runtime = Paths::runtimeDir();
    QVERIFY2(runtime.startsWith(own + u'-'), qPrintable(runtime));
    struct stat info
    {
    };
    QCOMPARE(::lstat(QFile::encodeName(runtime).constData(), &info), 0);
    QVERIFY(S_ISDIR(info.st_mode));
    QCOMPARE(info.st_uid, ::geteuid());
    QCOMPARE(info.st_mode & 07777, mode_t(0700));
    // The lock and the socket of this run go to the same place.
    QCOMPARE(Paths::runtimeDir(), runtime);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestPaths)
#include "tst_paths.moc"
