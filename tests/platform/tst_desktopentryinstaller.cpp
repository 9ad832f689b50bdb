#include "FreshXdgRoot.h"
#include "SelfProcess.h"
#include "TestEnvironment.h"
#include "platform/DesktopEntryInstaller.h"
#include "storage/Log.h"
#include "storage/Paths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <cstring>
#include <memory>

using namespace Qt::StringLiterals;
using Platform::installDesktopEntry;

namespace {

constexpr auto entryMode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser
                           | QFile::WriteUser | QFile::ExeUser | QFile::ReadGroup | QFile::ExeGroup
                           | QFile::ReadOther | QFile::ExeOther;

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray expectedEntry(const QByteArray &exec, const QByteArray &tryExec)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tembrix Clockwarden\n"
           "Comment=Time tracker for Tembrix\n"
           "Exec="
           + exec + "\nTryExec=" + tryExec
           + "\n"
             "Icon=tembrix-clockwarden\n"
             "Categories=Utility;Office;\n"
             "Terminal=false\n"
             "StartupWMClass=tembrix-clockwarden\n";
}

bool validates(const QString &path)
{
    QProcess validate;
    validate.start(u"desktop-file-validate"_s, { path });
    return validate.waitForFinished(10000) && validate.exitStatus() == QProcess::NormalExit
           && validate.exitCode() == 0;
}

// Child role: the program copied beside a share/icons tree; install from there.
int runInstallChild()
{
    return installDesktopEntry() ? 0 : 1;
}

} // namespace

class TestDesktopEntryInstaller : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void withoutAppImageDoesNothing();
    void writesEntryIconAndStartsTools();
    void unchangedPathLeavesEntryButCopiesIcon();
    void movedAppImageRewritesEntry();
    void quotesExecByDesktopEntryRules_data();
    void quotesExecByDesktopEntryRules();
    void refusesControlCharacters_data();
    void refusesControlCharacters();
    void keepsModeOfUnchangedEntry();
    void takesIconBesideProgramWithoutAppDir();

private:
    QString dataDir() const { return m_root->path(u"data"_s); }
    QString entryPath() const { return dataDir() + "/applications/tembrix-clockwarden.desktop"_L1; }
    QString iconPath() const
    {
        return dataDir() + "/icons/hicolor/256x256/apps/tembrix-clockwarden.png"_L1;
    }
    QString appDirIcon() const
    {
        return m_root->path(
                u"appdir/usr/share/icons/hicolor/256x256/apps/tembrix-clockwarden.png"_s);
    }
    QStringList toolCalls() const
    {
        const QByteArray calls = readFile(m_root->path(u"tool-calls"_s)).trimmed();
        return calls.isEmpty() ? QStringList() : QString::fromUtf8(calls).split(u'\n');
    }
    QStringList newLogLines();

    std::unique_ptr<FreshXdgRoot> m_root;
    QByteArray m_path;
    QString m_logPath;
    qint64 m_logOffset = 0;
};

void TestDesktopEntryInstaller::initTestCase()
{
    m_path = qgetenv("PATH");
    m_logPath = Platform::Paths::logFilePath();
    Core::Log::install();
}

void TestDesktopEntryInstaller::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
    // The cache tools are stubs on PATH that record how they were called.
    const QString stubs = m_root->path(u"stubs"_s);
    for (const char *tool : { "update-desktop-database", "gtk-update-icon-cache" }) {
        const QString stub = stubs + u'/' + QLatin1StringView(tool);
        QVERIFY(writeFile(stub, "#!/bin/sh\necho \"$(basename \"$0\") $*\" >> '"
                                        + QFile::encodeName(m_root->path(u"tool-calls"_s))
                                        + "'\n"));
        QVERIFY(QFile::setPermissions(stub, QFile::ReadOwner | QFile::ExeOwner));
    }
    qputenv("PATH", QFile::encodeName(stubs) + ':' + m_path);
    qputenv("APPDIR", QFile::encodeName(m_root->path(u"appdir"_s)));
    QVERIFY(writeFile(appDirIcon(), "icon from the image"));
    qunsetenv("APPIMAGE");
    m_logOffset = QFileInfo(m_logPath).size();
}

void TestDesktopEntryInstaller::cleanup()
{
    qputenv("PATH", m_path);
    qunsetenv("APPDIR");
    qunsetenv("APPIMAGE");
    m_root.reset();
}

QStringList TestDesktopEntryInstaller::newLogLines()
{
    QFile log(m_logPath);
    if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logOffset))
        return {};
    QStringList lines;
    for (const QByteArray &line : log.readAll().split('\n')) {
        // "[time] [LEVEL] [category] message": keep level, category and message.
        const qsizetype start = line.indexOf("] [");
        if (start >= 0)
            lines.append(QString::fromUtf8(line.mid(start + 2)));
    }
    return lines;
}

void TestDesktopEntryInstaller::withoutAppImageDoesNothing()
{
    QVERIFY(!installDesktopEntry());
    qputenv("APPIMAGE", "");
    QVERIFY(!installDesktopEntry());

    QVERIFY(!QFileInfo::exists(dataDir() + "/applications"_L1));
    QVERIFY(!QFileInfo::exists(iconPath()));
    QCOMPARE(newLogLines(), QStringList());
}

void TestDesktopEntryInstaller::writesEntryIconAndStartsTools()
{
    qputenv("APPIMAGE", "/opt/apps/Tembrix_Clockwarden-x86_64.AppImage");

    QVERIFY(installDesktopEntry());

    QCOMPARE(readFile(entryPath()), expectedEntry("/opt/apps/Tembrix_Clockwarden-x86_64.AppImage",
                                                  "/opt/apps/Tembrix_Clockwarden-x86_64.AppImage"));
    QCOMPARE(QFile::permissions(entryPath()), entryMode);
    QVERIFY(validates(entryPath()));
    QCOMPARE(readFile(iconPath()), "icon from the image"_ba);
    QCOMPARE(newLogLines(),
             (QStringList{ "[INFO] [config] Desktop-entry install: icon copied from "_L1
                                   + appDirIcon(),
                           "[INFO] [config] Desktop-entry install: wrote "_L1 + entryPath()
                                   + " (Exec=/opt/apps/Tembrix_Clockwarden-x86_64.AppImage)"_L1 }));
    QTRY_COMPARE(toolCalls().size(), 2);
    QStringList calls = toolCalls();
    calls.sort();
    QCOMPARE(calls,
             (QStringList{ "gtk-update-icon-cache -q -t "_L1 + dataDir() + "/icons/hicolor"_L1,
                           "update-desktop-database "_L1 + dataDir() + "/applications"_L1 }));
}

void TestDesktopEntryInstaller::unchangedPathLeavesEntryButCopiesIcon()
{
    qputenv("APPIMAGE", "/opt/apps/T.AppImage");
    QVERIFY(installDesktopEntry());
    QTRY_COMPARE(toolCalls().size(), 2);
    const QDateTime past = QDateTime::currentDateTime().addSecs(-3600);
    QFile entry(entryPath());
    QVERIFY(entry.open(QIODevice::ReadWrite));
    QVERIFY(entry.setFileTime(past, QFileDevice::FileModificationTime));
    entry.close();
    QVERIFY(QFile::remove(iconPath()));
    m_logOffset = QFileInfo(m_logPath).size();

    QVERIFY(!installDesktopEntry());

    QCOMPARE(QFileInfo(entryPath()).lastModified(), past);
    QCOMPARE(readFile(iconPath()), "icon from the image"_ba);
    QCOMPARE(newLogLines(),
             QStringList{ "[INFO] [config] Desktop-entry install: icon copied from "_L1
                          + appDirIcon() });
    // A later rewrite starts the tools again: had this call started them, four lines would
    // turn into six.
    qputenv("APPIMAGE", "/opt/apps/U.AppImage");
    QVERIFY(installDesktopEntry());
    QTRY_COMPARE(toolCalls().size(), 4);
    QTest::qWait(200);
    QCOMPARE(toolCalls().size(), 4);
}

void TestDesktopEntryInstaller::movedAppImageRewritesEntry()
{
    qputenv("APPIMAGE", "/opt/old/T.AppImage");
    QVERIFY(installDesktopEntry());
    qputenv("APPIMAGE", "/home/u/Apps/T.AppImage");
    m_logOffset = QFileInfo(m_logPath).size();

    QVERIFY(installDesktopEntry());

    QCOMPARE(readFile(entryPath()),
             expectedEntry("/home/u/Apps/T.AppImage", "/home/u/Apps/T.AppImage"));
    QVERIFY(newLogLines().contains("[INFO] [config] Desktop-entry install: wrote "_L1 + entryPath()
                                   + " (Exec=/home/u/Apps/T.AppImage)"_L1));
    QTRY_COMPARE(toolCalls().size(), 4);
}

void TestDesktopEntryInstaller::quotesExecByDesktopEntryRules_data()
{
    QTest::addColumn<QString>("appImage");
    QTest::addColumn<QByteArray>("exec");

    // The file holds each backslash of the quoted argument twice (string escaping).
    QTest::newRow("plain path unchanged")
            << u"/opt/a-b_c.d/T.AppImage"_s << "/opt/a-b_c.d/T.AppImage"_ba;
    QTest::newRow("space quoted") << u"/opt/my apps/T.AppImage"_s
                                  << "\"/opt/my apps/T.AppImage\""_ba;
    QTest::newRow("double quote escaped") << u"/opt/a\"b/T"_s << "\"/opt/a\\\\\"b/T\""_ba;
    QTest::newRow("backtick escaped") << u"/opt/a`b/T"_s << "\"/opt/a\\\\`b/T\""_ba;
    QTest::newRow("dollar escaped") << u"/opt/$HOME/T"_s << "\"/opt/\\\\$HOME/T\""_ba;
    QTest::newRow("backslash escaped") << u"/opt/a\\b/T"_s << "\"/opt/a\\\\\\\\b/T\""_ba;
    QTest::newRow("percent doubled, unquoted") << u"/opt/100%/T"_s << "/opt/100%%/T"_ba;
    QTest::newRow("percent doubled inside quotes") << u"/opt/100 %/T"_s << "\"/opt/100 %%/T\""_ba;
    QTest::newRow("semicolon quoted") << u"/opt/a;b/T"_s << "\"/opt/a;b/T\""_ba;
    QTest::newRow("non-ASCII unchanged") << u"/opt/Prüfung/T"_s << "/opt/Prüfung/T"_ba;
}

void TestDesktopEntryInstaller::quotesExecByDesktopEntryRules()
{
    QFETCH(QString, appImage);
    QFETCH(QByteArray, exec);
    qputenv("APPIMAGE", appImage.toLocal8Bit());

    QVERIFY(installDesktopEntry());

    QCOMPARE(readFile(entryPath()), expectedEntry(exec, appImage.toUtf8()));
    QVERIFY(validates(entryPath()));
}

void TestDesktopEntryInstaller::refusesControlCharacters_data()
{
    QTest::addColumn<QByteArray>("appImage");

    QTest::newRow("line feed") << "/opt/T.AppImage\nExec=/bin/evil"_ba;
    QTest::newRow("carriage return") << "/opt/T\r.AppImage"_ba;
    QTest::newRow("tab") << "/opt/\tT.AppImage"_ba;
    QTest::newRow("delete") << "/opt/T\x7f.AppImage"_ba;
}

void TestDesktopEntryInstaller::refusesControlCharacters()
{
    QFETCH(QByteArray, appImage);
    qputenv("APPIMAGE", appImage);

    QVERIFY(!installDesktopEntry());

    QVERIFY(!QFileInfo::exists(entryPath()));
    QVERIFY(!QFileInfo::exists(iconPath()));
    QCOMPARE(newLogLines(),
             QStringList{ u"[WARN] [config] Desktop-entry install: AppImage path holds a control "
                          "character; skipping"_s });
    QTest::qWait(100);
    QCOMPARE(toolCalls(), QStringList());
}

void TestDesktopEntryInstaller::keepsModeOfUnchangedEntry()
{
    qputenv("APPIMAGE", "/opt/T.AppImage");
    QVERIFY(writeFile(entryPath(), expectedEntry("/opt/T.AppImage", "/opt/T.AppImage")));
    const auto mode0644 = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser
                          | QFile::ReadGroup | QFile::ReadOther;
    QVERIFY(QFile::setPermissions(entryPath(), mode0644));

    QVERIFY(!installDesktopEntry());
    QCOMPARE(QFile::permissions(entryPath()), mode0644);

    QVERIFY(writeFile(entryPath(), "[Desktop Entry]\nchanged by hand\n"));
    QVERIFY(installDesktopEntry());
    QCOMPARE(QFile::permissions(entryPath()), entryMode);
}

void TestDesktopEntryInstaller::takesIconBesideProgramWithoutAppDir()
{
    // <prefix>/bin/<program> finds <prefix>/share/icons/...; APPDIR's icon is not looked at.
    const QString prefix = m_root->path(u"prefix"_s);
    const QString program = prefix + "/bin/installer"_L1;
    QVERIFY(QDir().mkpath(prefix + "/bin"_L1));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
    const QString besideIcon
            = prefix + "/share/icons/hicolor/256x256/apps/tembrix-clockwarden.png"_L1;
    QVERIFY(writeFile(besideIcon, "icon beside the program"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(u"APPDIR"_s);
    environment.insert(u"APPIMAGE"_s, u"/opt/T.AppImage"_s);

    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(program, { u"--child-install"_s });
    QVERIFY(child.waitForFinished(30000));

    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(readFile(iconPath()), "icon beside the program"_ba);
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child-install") == 0) {
        QCoreApplication app(argc, argv);
        return runInstallChild();
    }
    return TestSupport::runTest<QCoreApplication, TestDesktopEntryInstaller>(argc, argv);
}

#include "tst_desktopentryinstaller.moc"
