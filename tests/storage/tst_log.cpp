#include "FileFixtures.h"
#include "TestEnvironment.h"

#include "FreshXdgRoot.h"
#include "storage/Log.h"
#include "storage/StoreTestHooks.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <memory>
#include <thread>
#include <vector>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using Core::Log;

using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

constexpr qint64 rotationSize = 5'242'880;

Q_LOGGING_CATEGORY(lcPlatform, "clockwarden.platform")

QStringList linesOf(const QByteArray &content)
{
    return QString::fromUtf8(content).split(u'\n', Qt::SkipEmptyParts);
}

// The line without its time stamp, which must be UTC ISO 8601 with milliseconds.
QString withoutTimestamp(const QString &line)
{
    static const QRegularExpression stamp(uR"(^\[\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z\] )"_s);
    const QRegularExpressionMatch match = stamp.match(line);
    return match.hasMatch() ? line.mid(match.capturedLength()) : u"no time stamp: "_s + line;
}

} // namespace

class TestLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void dropsWritesBeforeInstall();
    void writesOneFormattedLine_data();
    void writesOneFormattedLine();
    void installsOnlyOnce();
    void rotatesAtFiveMebibytes_data();
    void rotatesAtFiveMebibytes();
    void rotationShiftsAllNumberedFiles();
    void rotatesOnceWrittenLinesReachTheLimit();
    void dropsLinesWhenRotationCannotReopen();
    void recordsQtMessagesUnderConfig_data();
    void recordsQtMessagesUnderConfig();
    void dropsMessagesRaisedUnderItsOwnLock();
    void keepsWritingDuringStaticDestruction();
    void keepsLinesWholeAcrossThreads();
    void escapesControlCharactersSoNoLineCanBeForged_data();
    void escapesControlCharactersSoNoLineCanBeForged();
    void exportsOldestFirst();
    void exportsRedactedText();
    void exportReportsMissingContent_data();
    void exportReportsMissingContent();
    void exportReportsUnopenableDestination();
    void exportReportsShortWrite();
    void logAndExportAreOwnerOnly();

private:
    QString logPath(const QString &suffix = {}) const;
    void seedLogFiles(const QMap<QString, QByteArray> &suffixToContent);

    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestLog::init()
{
    Core::LogTestHooks::reset();
    m_root = std::make_unique<FreshXdgRoot>();
}

void TestLog::cleanup()
{
    Core::LogTestHooks::reset();
    m_root.reset();
}

QString TestLog::logPath(const QString &suffix) const
{
    return m_root->logsDir() + "/app.log"_L1 + suffix;
}

void TestLog::seedLogFiles(const QMap<QString, QByteArray> &suffixToContent)
{
    QVERIFY(QDir().mkpath(m_root->logsDir()));
    for (auto it = suffixToContent.cbegin(); it != suffixToContent.cend(); ++it)
        writeFile(logPath(it.key()), it.value());
}

void TestLog::dropsWritesBeforeInstall()
{
    Log::write(Log::Category::Session, Log::Level::Info, u"too early"_s);

    QVERIFY(!QFileInfo::exists(logPath()));
}

void TestLog::writesOneFormattedLine_data()
{
    QTest::addColumn<Log::Category>("category");
    QTest::addColumn<Log::Level>("level");
    QTest::addColumn<QString>("expectedTags");

    QTest::newRow("info in session")
            << Log::Category::Session << Log::Level::Info << u"[INFO] [session]"_s;
    QTest::newRow("debug in auth")
            << Log::Category::Auth << Log::Level::Debug << u"[DEBUG] [auth]"_s;
    QTest::newRow("warn in activity")
            << Log::Category::Activity << Log::Level::Warn << u"[WARN] [activity]"_s;
    QTest::newRow("error in capture")
            << Log::Category::Capture << Log::Level::Error << u"[ERROR] [capture]"_s;
    QTest::newRow("info in upload")
            << Log::Category::Upload << Log::Level::Info << u"[INFO] [upload]"_s;
    QTest::newRow("info in config")
            << Log::Category::Config << Log::Level::Info << u"[INFO] [config]"_s;
    QTest::newRow("info in permissions")
            << Log::Category::Permissions << Log::Level::Info << u"[INFO] [permissions]"_s;
    QTest::newRow("unknown category and level")
            << static_cast<Log::Category>(7) << static_cast<Log::Level>(-1) << u"[?] [?]"_s;
}

void TestLog::writesOneFormattedLine()
{
    QFETCH(Log::Category, category);
    QFETCH(Log::Level, level);
    QFETCH(QString, expectedTags);
    Log::install();

    const QDateTime before = QDateTime::currentDateTimeUtc();
    Log::write(category, level, u"Tracking paused. ü"_s);
    const QDateTime after = QDateTime::currentDateTimeUtc();

    const QString content = QString::fromUtf8(readFile(logPath()));
    static const QRegularExpression format(
            uR"(^\[(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)\] (.*) Tracking paused\. ü\n$)"_s);
    const QRegularExpressionMatch match = format.match(content);
    QVERIFY2(match.hasMatch(), qPrintable(content));
    QCOMPARE(match.captured(2), expectedTags);
    const QDateTime stamp = QDateTime::fromString(match.captured(1), Qt::ISODateWithMs);
    QVERIFY(stamp >= before.addMSecs(-1) && stamp <= after);
}

void TestLog::installsOnlyOnce()
{
    Log::install();
    Log::write(Log::Category::Session, Log::Level::Info, u"first"_s);
    FreshXdgRoot::set("XDG_STATE_HOME", m_root->path(u"elsewhere"_s));

    Log::install();
    Log::write(Log::Category::Session, Log::Level::Info, u"second"_s);

    const QStringList lines = linesOf(readFile(logPath()));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(withoutTimestamp(lines.at(1)), u"[INFO] [session] second"_s);
    QVERIFY(!QFileInfo::exists(m_root->path(u"elsewhere"_s)));
}

void TestLog::rotatesAtFiveMebibytes_data()
{
    QTest::addColumn<qint64>("seededSize");
    QTest::addColumn<bool>("rotated");

    QTest::newRow("exactly five mebibytes rotates") << rotationSize << true;
    QTest::newRow("one byte less stays") << rotationSize - 1 << false;
}

void TestLog::rotatesAtFiveMebibytes()
{
    QFETCH(qint64, seededSize);
    QFETCH(bool, rotated);
    seedLogFiles({ { QString(), QByteArray(seededSize, 'x') } });
    Log::install();

    Log::write(Log::Category::Upload, Log::Level::Info, u"next line"_s);

    QCOMPARE(QFileInfo::exists(logPath(u".0"_s)), rotated);
    if (rotated) {
        QCOMPARE(QFileInfo(logPath(u".0"_s)).size(), seededSize);
        QCOMPARE(linesOf(readFile(logPath())).size(), 1);
    } else {
        QVERIFY(QFileInfo(logPath()).size() > seededSize);
    }
}

void TestLog::rotationShiftsAllNumberedFiles()
{
    seedLogFiles({ { QString(), QByteArray(rotationSize, 'x') },
                   { u".0"_s, "copy 0\n" },
                   { u".1"_s, "copy 1\n" },
                   { u".2"_s, "copy 2\n" },
                   { u".3"_s, "copy 3\n" },
                   { u".4"_s, "copy 4\n" } });
    Log::install();

    Log::write(Log::Category::Upload, Log::Level::Info, u"first after rotation"_s);

    QCOMPARE(readFile(logPath(u".4"_s)), "copy 3\n");
    QCOMPARE(readFile(logPath(u".3"_s)), "copy 2\n");
    QCOMPARE(readFile(logPath(u".2"_s)), "copy 1\n");
    QCOMPARE(readFile(logPath(u".1"_s)), "copy 0\n");
    QCOMPARE(readFile(logPath(u".0"_s)), QByteArray(rotationSize, 'x'));
    QVERIFY(!QFileInfo::exists(logPath(u".5"_s)));
    const QStringList lines = linesOf(readFile(logPath()));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(withoutTimestamp(lines.first()), u"[INFO] [upload] first after rotation"_s);
}

void TestLog::rotatesOnceWrittenLinesReachTheLimit()
{
    seedLogFiles({ { QString(), QByteArray(rotationSize - 5, 'x') } });
    Log::install();

    // Under the limit when written, past it afterwards: the next line starts a new file.
    Log::write(Log::Category::Upload, Log::Level::Info, u"passes the limit"_s);
    QVERIFY(!QFileInfo::exists(logPath(u".0"_s)));
    Log::write(Log::Category::Upload, Log::Level::Info, u"first after rotation"_s);

    QVERIFY(QFileInfo(logPath(u".0"_s)).size() > rotationSize);
    const QStringList lines = linesOf(readFile(logPath()));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(withoutTimestamp(lines.first()), u"[INFO] [upload] first after rotation"_s);
}

void TestLog::dropsLinesWhenRotationCannotReopen()
{
    seedLogFiles({ { QString(), QByteArray(rotationSize, 'x') } });
    Log::install();
    // The open file survives its folder; the rotation's renames and reopening cannot.
    QVERIFY(QDir(m_root->logsDir()).removeRecursively());

    Log::write(Log::Category::Upload, Log::Level::Info, u"lost"_s);
    qWarning("also lost");
    Log::write(Log::Category::Upload, Log::Level::Info, u"lost as well"_s);

    QVERIFY(!QFileInfo::exists(m_root->logsDir()));
}

void TestLog::recordsQtMessagesUnderConfig_data()
{
    QTest::addColumn<QtMsgType>("type");
    QTest::addColumn<QString>("expectedTags");

    QTest::newRow("warning in a library category") << QtWarningMsg << u"[WARN] [config]"_s;
    QTest::newRow("critical") << QtCriticalMsg << u"[ERROR] [config]"_s;
    QTest::newRow("debug") << QtDebugMsg << u"[DEBUG] [config]"_s;
    QTest::newRow("info") << QtInfoMsg << u"[INFO] [config]"_s;
}

void TestLog::recordsQtMessagesUnderConfig()
{
    QFETCH(QtMsgType, type);
    QFETCH(QString, expectedTags);
    Log::install();

    switch (type) {
    case QtWarningMsg:
        qCWarning(lcPlatform) << "X server went away";
        break;
    case QtCriticalMsg:
        qCritical() << "X server went away";
        break;
    case QtDebugMsg:
        qDebug() << "X server went away";
        break;
    default:
        qInfo() << "X server went away";
        break;
    }

    const QStringList lines = linesOf(readFile(logPath()));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(withoutTimestamp(lines.first()), expectedTags + " X server went away"_L1);
}

void TestLog::dropsMessagesRaisedUnderItsOwnLock()
{
    Log::install();

    // Would deadlock on the non-recursive lock if the messages were not dropped.
    Core::LogTestHooks::runWhileLocked([] {
        qWarning("raised under the lock");
        Log::write(Log::Category::Config, Log::Level::Error, u"written under the lock"_s);
    });
    Log::write(Log::Category::Config, Log::Level::Info, u"after"_s);

    const QStringList lines = linesOf(readFile(logPath()));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(withoutTimestamp(lines.first()), u"[INFO] [config] after"_s);
}

void TestLog::keepsWritingDuringStaticDestruction()
{
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(QStringLiteral(CLOCKWARDEN_LOG_EXIT_WRITER), {});
    QVERIFY(writer.waitForFinished(60'000));
    QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(writer.exitCode(), 0);

    const QStringList lines = linesOf(readFile(logPath()));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(withoutTimestamp(lines.at(0)), u"[INFO] [session] running"_s);
    QCOMPARE(withoutTimestamp(lines.at(1)), u"[WARN] [upload] written at exit"_s);
    QCOMPARE(withoutTimestamp(lines.at(2)), u"[WARN] [config] Qt warning at exit"_s);
}

void TestLog::keepsLinesWholeAcrossThreads()
{
    constexpr int threadCount = 4;
    constexpr int linesPerThread = 250;
    Log::install();

    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < linesPerThread; ++i) {
                Log::write(Log::Category::Activity, Log::Level::Debug,
                           u"thread %1 line %2"_s.arg(t).arg(i));
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    const QStringList lines = linesOf(readFile(logPath()));
    QCOMPARE(lines.size(), threadCount * linesPerThread);
    static const QRegularExpression whole(
            uR"(^\[[^\]]+Z\] \[DEBUG\] \[activity\] thread \d line \d+$)"_s);
    for (const QString &line : lines)
        QVERIFY2(whole.match(line).hasMatch(), qPrintable(line));
}

void TestLog::escapesControlCharactersSoNoLineCanBeForged_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("written");
    QTest::newRow("line feed forging a line")
            << u"Login failed: x\n[2025-01-01T00:00:00.000Z] [ERROR] [auth] FORGED"_s
            << u"Login failed: x\\n[2025-01-01T00:00:00.000Z] [ERROR] [auth] FORGED"_s;
    QTest::newRow("carriage return and tab") << u"a\r\nb\tc"_s << u"a\\r\\nb\\tc"_s;
    QTest::newRow("terminal escape and delete")
            << u"\x1b[31mred\x7f"_s << u"\\u001b[31mred\\u007f"_s;
    QTest::newRow("unicode line breaks")
            << u"a\u0085b\u2028c\u2029d"_s << u"a\\u0085b\\u2028c\\u2029d"_s;
    QTest::newRow("plain text unchanged") << u"C:\\path ü \\n"_s << u"C:\\path ü \\n"_s;
}

void TestLog::escapesControlCharactersSoNoLineCanBeForged()
{
    QFETCH(QString, message);
    QFETCH(QString, written);
    Log::install();

    Log::write(Log::Category::Auth, Log::Level::Warn, message);
    qWarning().noquote() << message;

    const QStringList lines = linesOf(readFile(logPath()));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(withoutTimestamp(lines.at(0)), u"[WARN] [auth] "_s + written);
    QCOMPARE(withoutTimestamp(lines.at(1)), u"[WARN] [config] "_s + written);
}

void TestLog::exportsOldestFirst()
{
    // A gap in the numbering is skipped.
    seedLogFiles({ { u".4"_s, "four\n" },
                   { u".2"_s, "two\n" },
                   { u".1"_s, "one\n" },
                   { u".0"_s, "zero\n" },
                   { QString(), "current\n" } });
    const QString destination = m_root->path(u"export.log"_s);
    QString error;

    QVERIFY(Log::exportTo(destination, &error));

    QCOMPARE(readFile(destination), "four\ntwo\none\nzero\ncurrent\n");
    QVERIFY(error.isEmpty());
}

void TestLog::exportsRedactedText()
{
    Log::install();
    Log::write(Log::Category::Auth, Log::Level::Debug,
               uR"(POST authentication/singleLogin {"email":"a@b.c", "password": "a\"b"})"_s);
    Log::write(Log::Category::Upload, Log::Level::Debug, u"Authorization: Bearer abc.def"_s);
    const QString destination = m_root->path(u"export.log"_s);

    QVERIFY(Log::exportTo(destination));

    const QStringList lines = linesOf(readFile(destination));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(
            withoutTimestamp(lines.at(0)),
            uR"([DEBUG] [auth] POST authentication/singleLogin {"email":"a@b.c", "password": "<redacted>"})"_s);
    QCOMPARE(withoutTimestamp(lines.at(1)), u"[DEBUG] [upload] Authorization: Bearer <redacted>"_s);
}

void TestLog::exportReportsMissingContent_data()
{
    QTest::addColumn<bool>("emptyFilesPresent");

    QTest::newRow("no log files") << false;
    QTest::newRow("only empty log files") << true;
}

void TestLog::exportReportsMissingContent()
{
    QFETCH(bool, emptyFilesPresent);
    if (emptyFilesPresent)
        seedLogFiles({ { QString(), QByteArray() }, { u".0"_s, QByteArray() } });
    const QString destination = m_root->path(u"export.log"_s);
    QString error;

    QVERIFY(!Log::exportTo(destination, &error));

    QCOMPARE(error, u"no log content found"_s);
    QVERIFY(!QFileInfo::exists(destination));
    QVERIFY(!Log::exportTo(destination));
}

void TestLog::exportReportsUnopenableDestination()
{
    seedLogFiles({ { QString(), "line\n" } });
    const QString destination = m_root->path(u"missing-folder/export.log"_s);
    QString error;

    QVERIFY(!Log::exportTo(destination, &error));

    QFile probe(destination);
    QVERIFY(!probe.open(QIODevice::WriteOnly));
    QCOMPARE(error, probe.errorString());
    QVERIFY(!error.isEmpty());
}

void TestLog::exportReportsShortWrite()
{
    if (!QFileInfo::exists(u"/dev/full"_s))
        QSKIP("needs /dev/full");
    seedLogFiles({ { QString(), "line\n" } });
    QString error;

    QVERIFY(!Log::exportTo(u"/dev/full"_s, &error));

    QCOMPARE(error, u"failed to write the log file"_s);
}

void TestLog::logAndExportAreOwnerOnly()
{
    // An earlier version's log, readable by all, and a desktop's lax umask.
    seedLogFiles({ { QString(), "old\n" } });
    QVERIFY(QFile::setPermissions(logPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                     | QFileDevice::ReadGroup
                                                     | QFileDevice::ReadOther));
    const mode_t previous = ::umask(022);
    Log::install();
    Log::write(Log::Category::Session, Log::Level::Info, u"private"_s);
    const QString destination = m_root->path(u"export.log"_s);
    const bool exported = Log::exportTo(destination);
    ::umask(previous);
    QVERIFY(exported);
    for (const QString &path : { logPath(), destination }) {
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
    }
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestLog)
#include "tst_log.moc"
