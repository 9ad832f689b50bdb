#include "TestEnvironment.h"

#include "FreshXdgRoot.h"
#include "SQLiteStoreFixture.h"
#include "storage/SQLiteStore.h"

#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace SQLiteStoreFixture;
using Segment = Storage::SQLiteStore::ActivitySegmentRow;
using Segments = QList<Segment>;
using Storage::SQLiteStore;

namespace {

const QDateTime base = QDateTime(QDate(2025, 3, 4), QTime(9, 0, 0, 250), Qt::UTC);

QStringList rows(const QString &sql)
{
    QStringList result;
    if (!sqlite(databaseFile(), sql, &result))
        result = QStringList{ u"<sqlite3 failed>"_s };
    return result;
}

Segment segment(const QString &date, int number, int active, int nonIdle = 0, int mouse = 0,
                int keyboard = 0)
{
    return Segment{ date, number, active, nonIdle, mouse, keyboard };
}

void upsert(SQLiteStore &store, const Segment &row,
            const std::optional<QString> &domainKey = std::nullopt)
{
    store.upsertActivitySegment(row.segmentDate, row.segmentNumber, row.activeSeconds,
                                row.nonIdleSeconds, row.mouseMovements, row.keyboardMovements,
                                domainKey);
}

} // namespace

class TestSQLiteStoreSegments : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void upsertReplacesFiguresAndWaitsAgain();
    void pendingSegmentsStopBeforeOpenOne_data();
    void pendingSegmentsStopBeforeOpenOne();
    void pendingSegmentsSkipEmptySentAndForeign();
    void explicitDomainKeepsSegmentWithItsAccount();
    void latestActivityIsClampedPercent_data();
    void latestActivityIsClampedPercent();
    void totalsWeighLocalDays_data();
    void totalsWeighLocalDays();
    void purgeRemovesUnattributableRows();
    void purgeUnderGlobalDomainStillRemovesGlobalRows();
    void purgeCanSpareGlobalRows();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
    std::unique_ptr<SQLiteStore> m_store;
};

void TestSQLiteStoreSegments::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
    QTest::failOnWarning(QRegularExpression(u".*"_s));
    m_store = std::make_unique<SQLiteStore>();
}

void TestSQLiteStoreSegments::cleanup()
{
    m_store.reset();
    m_root.reset();
}

void TestSQLiteStoreSegments::upsertReplacesFiguresAndWaitsAgain()
{
    upsert(*m_store, segment(u"2025-03-04"_s, 54, 120, 300, 15, 40));
    upsert(*m_store, segment(u"2025-03-04"_s, 54, 180, 420, 20, 55));
    QCOMPARE(m_store->activitySegment(u"2025-03-04"_s, 54),
             segment(u"2025-03-04"_s, 54, 180, 420, 20, 55));
    QCOMPARE(rows(u"SELECT count(*), uploaded_at IS NULL FROM activity_segments;"_s),
             QStringList{ u"1|1"_s });

    m_store->markActivitySegmentUploaded(u"2025-03-04"_s, 54);
    QCOMPARE(rows(u"SELECT typeof(uploaded_at) FROM activity_segments;"_s),
             QStringList{ u"real"_s });
    QVERIFY(m_store->pendingActivitySegments(u"2025-03-05"_s, 0).isEmpty());

    upsert(*m_store, segment(u"2025-03-04"_s, 54, 240, 480, 21, 56));
    QCOMPARE(m_store->pendingActivitySegments(u"2025-03-05"_s, 0),
             Segments{ segment(u"2025-03-04"_s, 54, 240, 480, 21, 56) });
}

void TestSQLiteStoreSegments::pendingSegmentsStopBeforeOpenOne_data()
{
    QTest::addColumn<QString>("openDate");
    QTest::addColumn<int>("openNumber");
    QTest::addColumn<QList<int>>("expected"); // numbers of 2025-03-04

    QTest::newRow("open segment itself is left out") << u"2025-03-04"_s << 54 << QList<int>{ 53 };
    QTest::newRow("segments after the open one are left out")
            << u"2025-03-04"_s << 1 << QList<int>{};
    QTest::newRow("next day takes all, in order") << u"2025-03-05"_s << 0 << QList<int>{ 53, 54 };
    QTest::newRow("earlier day takes none") << u"2025-03-03"_s << 143 << QList<int>{};
}

void TestSQLiteStoreSegments::pendingSegmentsStopBeforeOpenOne()
{
    QFETCH(QString, openDate);
    QFETCH(int, openNumber);
    QFETCH(QList<int>, expected);
    upsert(*m_store, segment(u"2025-03-04"_s, 54, 120));
    upsert(*m_store, segment(u"2025-03-04"_s, 53, 60));

    Segments expectedRows;
    for (int number : expected)
        expectedRows.append(segment(u"2025-03-04"_s, number, number == 53 ? 60 : 120));
    QCOMPARE(m_store->pendingActivitySegments(openDate, openNumber), expectedRows);
}

void TestSQLiteStoreSegments::pendingSegmentsSkipEmptySentAndForeign()
{
    const Segment counted = segment(u"2025-03-03"_s, 143, 0, 0, 0, 1);
    upsert(*m_store, segment(u"2025-03-04"_s, 10, 0, 0, 0, 0));
    upsert(*m_store, segment(u"2025-03-04"_s, 11, 50));
    m_store->markActivitySegmentUploaded(u"2025-03-04"_s, 11);
    upsert(*m_store, segment(u"2025-03-04"_s, 12, 50), u"other.example.com"_s);
    upsert(*m_store, counted);

    QCOMPARE(m_store->pendingActivitySegments(u"2025-03-05"_s, 0), Segments{ counted });
}

void TestSQLiteStoreSegments::explicitDomainKeepsSegmentWithItsAccount()
{
    const Segment row = segment(u"2025-03-04"_s, 54, 120, 300, 15, 40);
    m_store->setDomainKey(u"new.example.com"_s);
    upsert(*m_store, row, u"old.example.com"_s);

    QCOMPARE(m_store->activitySegment(u"2025-03-04"_s, 54), std::nullopt);
    QCOMPARE(m_store->activitySegment(u"2025-03-04"_s, 54, u"old.example.com"_s), row);
    m_store->setDomainKey(u"old.example.com"_s);
    QCOMPARE(m_store->pendingActivitySegments(u"2025-03-05"_s, 0), Segments{ row });
}

void TestSQLiteStoreSegments::latestActivityIsClampedPercent_data()
{
    QTest::addColumn<Segments>("segments");
    QTest::addColumn<std::optional<double>>("expected");

    QTest::newRow("no segment") << Segments{} << std::optional<double>();
    QTest::newRow("more than a segment's seconds gives 100")
            << Segments{ segment(u"2025-03-04"_s, 54, 720) } << std::optional(100.0);
    QTest::newRow("nothing active gives 0")
            << Segments{ segment(u"2025-03-04"_s, 54, 0) } << std::optional(0.0);
    QTest::newRow("newest by date, then number")
            << Segments{ segment(u"2025-03-05"_s, 0, 300), segment(u"2025-03-04"_s, 143, 600),
                         segment(u"2025-03-05"_s, 1, 150) }
            << std::optional(25.0);
}

void TestSQLiteStoreSegments::latestActivityIsClampedPercent()
{
    QFETCH(Segments, segments);
    QFETCH(std::optional<double>, expected);
    for (const Segment &row : segments)
        upsert(*m_store, row);
    upsert(*m_store, segment(u"2025-03-06"_s, 0, 600), u"other.example.com"_s);

    QCOMPARE(m_store->latestSegmentActivityPercent(), expected);
}

void TestSQLiteStoreSegments::totalsWeighLocalDays_data()
{
    QTest::addColumn<QTime>("localTime");

    // Local times whose UTC date differs from the local one in some zone: early in the morning
    // east of Greenwich, late in the evening west of it.
    QTest::newRow("from and to early in the local morning") << QTime(1, 0);
    QTest::newRow("from and to late in the local evening") << QTime(23, 0);
}

void TestSQLiteStoreSegments::totalsWeighLocalDays()
{
    QFETCH(QTime, localTime);
    upsert(*m_store, segment(u"2025-03-03"_s, 143, 600, 600));
    upsert(*m_store, segment(u"2025-03-04"_s, 0, 600, 600));
    upsert(*m_store, segment(u"2025-03-04"_s, 1, 300, 300));
    upsert(*m_store, segment(u"2025-03-04"_s, 2, 600, 0));
    upsert(*m_store, segment(u"2025-03-05"_s, 0, 600, 600));
    const QDateTime from(QDate(2025, 3, 4), localTime);
    const QDateTime to(QDate(2025, 3, 5), localTime);

    // (100 x 100 + 50 x 50) over the weights 100 + 50; a segment without non-idle time adds
    // nothing to either.
    QCOMPARE(m_store->activityTotals(from, to), std::make_pair(12500.0, 150.0));
    QCOMPARE(SQLiteStore::localDateKey(from), u"2025-03-04"_s);
}

void TestSQLiteStoreSegments::purgeRemovesUnattributableRows()
{
    m_store->setDomainKey(u"acme.example.com"_s);
    const QString cutoff = u"2025-02-01"_s;
    m_store->enqueueUpload(task(Models::UploadTaskType::heartbeat, 100, base), u"global"_s);
    m_store->enqueueUpload(task(Models::UploadTaskType::screenshot, 10, base), u"global"_s);
    m_store->enqueueUpload(task(Models::UploadTaskType::screenshot, 10, base));
    upsert(*m_store, segment(u"2025-03-04"_s, 1, 60), u"global"_s);
    upsert(*m_store, segment(u"2024-01-01"_s, 1, 60), u"global"_s);
    upsert(*m_store, segment(u"2024-01-01"_s, 2, 60)); // own, old: kept
    upsert(*m_store, segment(u"2025-03-04"_s, 3, 0));  // own, empty: removed
    upsert(*m_store, segment(u"2025-01-31"_s, 4, 60), u"other.example.com"_s); // removed
    upsert(*m_store, segment(u"2025-02-01"_s, 5, 60), u"other.example.com"_s); // at cutoff
    upsert(*m_store, segment(u"2024-01-01"_s, 6, 0), u"other.example.com"_s);
    m_store->setDomainKey(u"other.example.com"_s);
    m_store->markActivitySegmentUploaded(u"2024-01-01"_s, 6); // sent, even empty: kept
    m_store->setDomainKey(u"acme.example.com"_s);
    m_store->appendSessionHistory(session(base, base.addSecs(60)));

    QCOMPARE(m_store->purgeStaleRows(cutoff), 6);

    QCOMPARE(rows(u"SELECT domain_key, segment_number FROM activity_segments "
                  "ORDER BY segment_number;"_s),
             (QStringList{ u"acme.example.com|2"_s, u"other.example.com|5"_s,
                           u"other.example.com|6"_s }));
    QCOMPARE(rows(u"SELECT domain_key FROM upload_queue;"_s), QStringList{ u"acme.example.com"_s });
    QCOMPARE(rows(u"SELECT count(*) FROM session_history;"_s), QStringList{ u"1"_s });
    QCOMPARE(m_store->purgeStaleRows(cutoff), 0);
}

void TestSQLiteStoreSegments::purgeUnderGlobalDomainStillRemovesGlobalRows()
{
    m_store->enqueueUpload(task(Models::UploadTaskType::heartbeat, 100, base));
    upsert(*m_store, segment(u"2025-03-04"_s, 1, 60));
    upsert(*m_store, segment(u"2024-01-01"_s, 2, 60), u"acme.example.com"_s);

    QCOMPARE(m_store->purgeStaleRows(u"2025-02-01"_s, u"acme.example.com"_s), 2);

    QCOMPARE(rows(u"SELECT domain_key FROM activity_segments;"_s),
             QStringList{ u"acme.example.com"_s });
    QCOMPARE(m_store->nextDueUpload(base), std::nullopt);
}

void TestSQLiteStoreSegments::purgeCanSpareGlobalRows()
{
    m_store->enqueueUpload(task(Models::UploadTaskType::heartbeat, 100, base));
    upsert(*m_store, segment(u"2025-03-04"_s, 1, 60));
    upsert(*m_store, segment(u"2025-03-04"_s, 2, 0));                         // empty: removed
    upsert(*m_store, segment(u"2024-01-01"_s, 3, 60), u"acme.example.com"_s); // old: removed

    QCOMPARE(m_store->purgeStaleRows(u"2025-02-01"_s, std::nullopt, false), 2);

    QCOMPARE(rows(u"SELECT domain_key, segment_number FROM activity_segments;"_s),
             QStringList{ u"global|1"_s });
    QCOMPARE(rows(u"SELECT domain_key FROM upload_queue;"_s), QStringList{ u"global"_s });
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSQLiteStoreSegments)
#include "tst_sqlitestore_segments.moc"
