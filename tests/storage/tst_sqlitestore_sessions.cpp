#include "TestEnvironment.h"

#include "FreshXdgRoot.h"
#include "SQLiteStoreFixture.h"
#include "storage/SQLiteStore.h"

#include <QRegularExpression>
#include <QTest>
#include <QTimeZone>

#include <memory>

using namespace Qt::StringLiterals;
using namespace SQLiteStoreFixture;
using Storage::SQLiteStore;

namespace {

const QDateTime base = QDateTime(QDate(2025, 3, 4), QTime(9, 0, 0, 250), Qt::UTC);

// Spins (no sleep) until the wall clock has moved on by a millisecond, so that two saves get
// different update times.
void waitForNextMillisecond()
{
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    while (QDateTime::currentMSecsSinceEpoch() == start) {
    }
}

QStringList rows(const QString &sql)
{
    QStringList result;
    if (!sqlite(databaseFile(), sql, &result))
        result = QStringList{ u"<sqlite3 failed>"_s };
    return result;
}

QStringList projectNames(const QList<SQLiteStore::SessionSummaryRow> &summaries)
{
    QStringList names;
    for (const SQLiteStore::SessionSummaryRow &row : summaries)
        names.append(row.projectName);
    return names;
}

} // namespace

class TestSQLiteStoreSessions : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void savingTwiceKeepsOneRowWithLaterContent();
    void loadsLatestActiveSessionOfCurrentDomain();
    void savingAgainMovesSessionToCurrentDomain();
    void removesActiveSessionsOfCurrentDomainOnly();
    void storesNullTextsAsEmpty();
    void warnsWhenWriteFails_data();
    void warnsWhenWriteFails();
    void appendTakesTimesFromIntervals_data();
    void appendTakesTimesFromIntervals();
    void summariesUseHalfOpenLocalDay();
    void summaryDurationFollowsSession();
    void skipsUndecodablePayloads_data();
    void skipsUndecodablePayloads();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
    std::unique_ptr<SQLiteStore> m_store;
};

void TestSQLiteStoreSessions::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    m_store = std::make_unique<SQLiteStore>();
}

void TestSQLiteStoreSessions::cleanup()
{
    m_store.reset();
    m_root.reset();
}

void TestSQLiteStoreSessions::savingTwiceKeepsOneRowWithLaterContent()
{
    Models::Session session = SQLiteStoreFixture::session(base, std::nullopt);
    m_store->saveActiveSession(session);
    const QStringList firstUpdate = rows(u"SELECT updated_at FROM sessions;"_s);
    waitForNextMillisecond();
    session.mouseCount = 99;
    m_store->saveActiveSession(session);

    QCOMPARE(rows(u"SELECT count(*) FROM sessions;"_s), QStringList{ u"1"_s });
    QCOMPARE(m_store->loadActiveSession(), session);
    QCOMPARE(rows(u"SELECT updated_at > %1 FROM sessions;"_s.arg(firstUpdate.value(0))),
             QStringList{ u"1"_s });
}

void TestSQLiteStoreSessions::loadsLatestActiveSessionOfCurrentDomain()
{
    const Models::Session older = session(base, std::nullopt, u"Older"_s);
    const Models::Session newer = session(base.addSecs(-3600), std::nullopt, u"Newer"_s);
    const Models::Session foreign = session(base, std::nullopt, u"Foreign"_s);
    m_store->saveActiveSession(older);
    waitForNextMillisecond();
    m_store->saveActiveSession(newer);
    m_store->setDomainKey(u"other.example.com"_s);
    waitForNextMillisecond();
    m_store->saveActiveSession(foreign);
    m_store->setDomainKey(u"global"_s);

    QCOMPARE(m_store->loadActiveSession(), newer);
    QCOMPARE(m_store->loadActiveSessions(), (QList<Models::Session>{ newer, older }));
}

void TestSQLiteStoreSessions::savingAgainMovesSessionToCurrentDomain()
{
    const Models::Session session = SQLiteStoreFixture::session(base, std::nullopt);
    m_store->saveActiveSession(session);
    m_store->setDomainKey(u"acme.example.com"_s);
    m_store->saveActiveSession(session);

    QCOMPARE(m_store->loadActiveSession(), session);
    m_store->setDomainKey(u"global"_s);
    QCOMPARE(m_store->loadActiveSession(), std::nullopt);
}

void TestSQLiteStoreSessions::removesActiveSessionsOfCurrentDomainOnly()
{
    const Models::Session first = session(base, std::nullopt);
    const Models::Session second = session(base, std::nullopt);
    const Models::Session foreign = session(base, std::nullopt);
    m_store->saveActiveSession(first);
    m_store->saveActiveSession(second);
    m_store->setDomainKey(u"acme.example.com"_s);
    m_store->saveActiveSession(foreign);
    m_store->setDomainKey(u"global"_s);

    m_store->removeActiveSession(first.id);
    QCOMPARE(m_store->loadActiveSessions(), QList<Models::Session>{ second });
    m_store->removeActiveSession(foreign.id);
    m_store->removeActiveSession();
    QCOMPARE(m_store->loadActiveSessions(), QList<Models::Session>{});

    m_store->setDomainKey(u"acme.example.com"_s);
    QCOMPARE(m_store->loadActiveSessions(), QList<Models::Session>{ foreign });
}

void TestSQLiteStoreSessions::storesNullTextsAsEmpty()
{
    // A default-constructed text is null, and Qt binds a null text as SQL NULL, which the NOT
    // NULL columns would refuse.
    Models::Session session = SQLiteStoreFixture::session(base, base.addSecs(60));
    session.deviceId = QString();
    session.projectId = QString();
    session.projectName = QString();
    m_store->saveActiveSession(session);
    m_store->appendSessionHistory(session);

    QCOMPARE(m_store->loadActiveSession(), session);
    QCOMPARE(rows(u"SELECT device_id || project_id || project_name || '.' FROM sessions "
                  "UNION ALL SELECT device_id || project_id || project_name || '.' "
                  "FROM session_history;"_s),
             (QStringList{ u"."_s, u"."_s }));
}

void TestSQLiteStoreSessions::warnsWhenWriteFails_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<bool>("history");
    QTest::addColumn<QString>("warning");

    QTest::newRow("saving the active session")
            << u"sessions"_s << false << u"saveActiveSession: insert failed:"_s;
    QTest::newRow("appending to the history")
            << u"session_history"_s << true << u"appendSessionHistory: insert failed:"_s;
}

void TestSQLiteStoreSessions::warnsWhenWriteFails()
{
    QFETCH(QString, table);
    QFETCH(bool, history);
    QFETCH(QString, warning);
    QVERIFY(sqlite(databaseFile(),
                   u"CREATE TRIGGER refuse BEFORE INSERT ON %1 BEGIN SELECT RAISE(ABORT, 'disk "
                   "says no'); END;"_s.arg(table)));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"^%1 \".*disk says no.*\"$"_s.arg(
                                               QRegularExpression::escape(warning))));

    const Models::Session session = SQLiteStoreFixture::session(base, base.addSecs(60));
    if (history)
        m_store->appendSessionHistory(session);
    else
        m_store->saveActiveSession(session);
}

void TestSQLiteStoreSessions::appendTakesTimesFromIntervals_data()
{
    QTest::addColumn<QList<Models::Interval>>("intervals");
    QTest::addColumn<QString>("startedAt"); // epoch seconds, or "now"
    QTest::addColumn<QString>("stoppedAt");

    const Models::Interval first(QUuid::createUuid(), base, base.addSecs(600));
    const Models::Interval last(QUuid::createUuid(), base.addSecs(900), base.addMSecs(1200123));
    const Models::Interval open(QUuid::createUuid(), base.addSecs(900), std::nullopt);
    QTest::newRow("closed intervals")
            << QList<Models::Interval>{ first, last } << u"1741078800.250"_s << u"1741080000.373"_s;
    QTest::newRow("open last interval stops now")
            << QList<Models::Interval>{ first, open } << u"1741078800.250"_s << u"now"_s;
    QTest::newRow("no interval starts and stops now")
            << QList<Models::Interval>{} << u"now"_s << u"now"_s;
}

void TestSQLiteStoreSessions::appendTakesTimesFromIntervals()
{
    QFETCH(QList<Models::Interval>, intervals);
    QFETCH(QString, startedAt);
    QFETCH(QString, stoppedAt);
    Models::Session session = SQLiteStoreFixture::session(base, std::nullopt);
    session.intervals = intervals;

    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    m_store->appendSessionHistory(session);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    const auto expected = [&](const QString &value) {
        return value == u"now"_s ? u"%1 AND %2"_s.arg(before / 1000.0, 0, 'f', 3)
                                           .arg(after / 1000.0, 0, 'f', 3)
                                 : u"%1 AND %1"_s.arg(value);
    };
    QCOMPARE(
            rows(u"SELECT started_at BETWEEN %1, stopped_at BETWEEN %2 FROM session_history;"_s.arg(
                    expected(startedAt), expected(stoppedAt))),
            QStringList{ u"1|1"_s });
}

void TestSQLiteStoreSessions::summariesUseHalfOpenLocalDay()
{
    // The day is the machine's local day, whatever zone the company keeps; the bounds are local
    // times and must select by instant.
    const QDateTime from = QDate(2025, 3, 4).startOfDay();
    const QDateTime to = QDate(2025, 3, 5).startOfDay();
    const QList<std::pair<QString, QDateTime>> starts{
        { u"before the day"_s, from.addMSecs(-1) },
        { u"at the start"_s, from },
        { u"late, past midnight"_s, to.addSecs(-1800) },
        { u"last millisecond"_s, to.addMSecs(-1) },
        { u"at the end"_s, to },
    };
    for (const auto &[name, start] : starts)
        m_store->appendSessionHistory(session(start, start.addSecs(3600), name));

    const QList<SQLiteStore::SessionSummaryRow> summaries = m_store->sessionSummaries(from, to);

    QCOMPARE(projectNames(summaries),
             (QStringList{ u"at the start"_s, u"late, past midnight"_s, u"last millisecond"_s }));
    QCOMPARE(summaries.first().startedAt, from.toUTC());
    QCOMPARE(summaries.first().startedAt.timeSpec(), Qt::UTC);
    QCOMPARE(summaries.at(1).durationSeconds, 3600.0);
}

void TestSQLiteStoreSessions::summaryDurationFollowsSession()
{
    Models::Session reported = session(base, base.addSecs(3600), u"reported"_s);
    reported.reportedTotalSeconds = 0;
    reported.activityScore = 42.5;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const Models::Session open = session(now.addSecs(-120), std::nullopt, u"open"_s);
    m_store->appendSessionHistory(reported);
    m_store->appendSessionHistory(open);

    const QList<SQLiteStore::SessionSummaryRow> summaries
            = m_store->sessionSummaries(base, now.addDays(1));

    QCOMPARE(projectNames(summaries), (QStringList{ u"reported"_s, u"open"_s }));
    QCOMPARE(summaries.at(0).durationSeconds, 0.0);
    QCOMPARE(summaries.at(0).activityScore, 42.5);
    QVERIFY(summaries.at(1).durationSeconds >= 120.0);
    QVERIFY(summaries.at(1).durationSeconds < 3600.0);
}

void TestSQLiteStoreSessions::skipsUndecodablePayloads_data()
{
    QTest::addColumn<QByteArray>("payload");

    QTest::newRow("not JSON") << QByteArray("{not json");
    QTest::newRow("a JSON array") << QByteArray("[1, 2]");
    QTest::newRow("a session without deviceId")
            << QByteArray(R"({"id":"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11","projectId":"",)"
                          R"("projectName":"","intervals":[],"mouseCount":0,)"
                          R"("keyboardCount":0,"activityScore":0,"status":"active"})");
}

void TestSQLiteStoreSessions::skipsUndecodablePayloads()
{
    QFETCH(QByteArray, payload);
    const Models::Session good = session(base, base.addSecs(60), u"good"_s);
    m_store->saveActiveSession(good);
    m_store->appendSessionHistory(good);
    const QString hex = QString::fromLatin1(payload.toHex());
    QVERIFY(sqlite(databaseFile(),
                   u"INSERT INTO sessions VALUES ('bad', 'global', 'D', '', '', X'%1', 9e9);"
                   "INSERT INTO session_history VALUES ('bad', 'global', 'D', '', '', X'%1', "
                   "%2, %2);"_s.arg(hex)
                           .arg(base.toMSecsSinceEpoch() / 1000.0, 0, 'f', 3)));

    QCOMPARE(m_store->loadActiveSessions(), QList<Models::Session>{ good });
    QCOMPARE(projectNames(m_store->sessionSummaries(base, base.addDays(1))),
             QStringList{ u"good"_s });
    QCOMPARE(SQLiteStore::decodeSessionPayload(payload), std::nullopt);
    QCOMPARE(rows(u"SELECT count(*) FROM session_history;"_s), QStringList{ u"2"_s });
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSQLiteStoreSessions)
#include "tst_sqlitestore_sessions.moc"
