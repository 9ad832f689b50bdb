#include "DecodingFailure.h"
#include "TestEnvironment.h"

#include "models/JsonDecodingError.h"
#include "models/Session.h"

#include <QJsonArray>
#include <QTest>
#include <QTimeZone>

#include <limits>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

const QDateTime base = QDateTime(QDate(2025, 3, 4), QTime(2, 15, 7, 123), Qt::UTC);

Interval interval(qint64 startMs, std::optional<qint64> stopMs)
{
    std::optional<QDateTime> stop;
    if (stopMs)
        stop = base.addMSecs(*stopMs);
    return Interval(QUuid::createUuid(), base.addMSecs(startMs), stop);
}

Session sessionWith(QList<Interval> intervals, std::optional<int> reported = std::nullopt)
{
    return Session(QUuid::createUuid(), u"DEVICE"_s, u"p1"_s, u"Project"_s, std::move(intervals), 3,
                   4, 55.5, SessionStatus::active, std::nullopt, reported);
}

QJsonObject validSessionJson()
{
    return QJsonObject{
        { u"id"_s, u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s },
        { u"deviceId"_s, u"D"_s },
        { u"projectId"_s, u""_s },
        { u"projectName"_s, u""_s },
        { u"intervals"_s, QJsonArray() },
        { u"mouseCount"_s, 1 },
        { u"keyboardCount"_s, 2 },
        { u"activityScore"_s, 12.5 },
        { u"status"_s, u"paused"_s },
    };
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void computesDuration_data();
    void computesDuration();
    void reportedTotalWinsEvenWhenZero();
    void roundTripsInUtcWithMilliseconds();
    void writesOptionalFieldsOnlyWhenPresent();
    void rejectsBadRecords_data();
    void rejectsBadRecords();
    void readsLenientIntervalLists();
    void mapsStatusTexts();
    void keepsANonFiniteScoreDecodable_data();
    void keepsANonFiniteScoreDecodable();
};

void TestSession::computesDuration_data()
{
    QTest::addColumn<QList<Interval>>("intervals");
    QTest::addColumn<double>("expected");

    QTest::newRow("no intervals") << QList<Interval>{} << 0.0;
    QTest::newRow("two intervals of 1.5 s")
            << QList<Interval>{ interval(0, 1500), interval(5000, 6500) } << 3.0;
    QTest::newRow("open last interval counts up to now")
            << QList<Interval>{ interval(0, 1000), interval(2000, std::nullopt) } << 9.0;
    QTest::newRow("stop before start counts nothing")
            << QList<Interval>{ interval(4000, 1000), interval(0, 250) } << 0.25;
}

void TestSession::computesDuration()
{
    QFETCH(QList<Interval>, intervals);
    QFETCH(double, expected);
    const QDateTime now = base.addSecs(10);

    const Session session = sessionWith(intervals);

    QCOMPARE(session.computedDurationSeconds(now), expected);
    QCOMPARE(session.durationSeconds(now), expected);
}

void TestSession::reportedTotalWinsEvenWhenZero()
{
    const Session session = sessionWith({ interval(0, 60000) }, 0);

    QCOMPARE(session.durationSeconds(base.addSecs(120)), 0.0);
    QCOMPARE(session.computedDurationSeconds(base.addSecs(120)), 60.0);
}

void TestSession::roundTripsInUtcWithMilliseconds()
{
    const QTimeZone bangkok("Asia/Bangkok");
    const QDateTime start(QDate(2025, 3, 4), QTime(9, 15, 7, 123), bangkok);
    const QDateTime stop = start.addMSecs(90061);
    const QUuid id = QUuid::createUuid();
    Session session = sessionWith({ Interval(id, start, stop) });
    session.idleDiscardCutoffAt = start.addSecs(30);

    const QJsonObject json = session.toJson();
    const QJsonObject intervalJson = json.value(u"intervals").toArray().first().toObject();

    QCOMPARE(intervalJson.value(u"id").toString(), id.toString(QUuid::WithoutBraces).toLower());
    QCOMPARE(json.value(u"id").toString(), session.id.toString(QUuid::WithoutBraces).toLower());
    QCOMPARE(intervalJson.value(u"startedAt").toString(), u"2025-03-04T02:15:07.123Z"_s);
    QCOMPARE(intervalJson.value(u"stoppedAt").toString(), u"2025-03-04T02:16:37.184Z"_s);
    QCOMPARE(json.value(u"idleDiscardCutoffAt").toString(), u"2025-03-04T02:15:37.123Z"_s);

    const Session decoded = Session::fromJson(json);
    QCOMPARE(decoded, session);
    QCOMPARE(decoded.intervals.first().startedAt.timeSpec(), Qt::UTC);
}

void TestSession::writesOptionalFieldsOnlyWhenPresent()
{
    const QJsonObject open = sessionWith({ interval(0, std::nullopt) }).toJson();
    QVERIFY(!open.contains(u"idleDiscardCutoffAt"));
    QVERIFY(!open.contains(u"reportedTotalSeconds"));
    QVERIFY(!open.value(u"intervals").toArray().first().toObject().contains(u"stoppedAt"));
    QCOMPARE(sessionWith({}).toJson().value(u"intervals"), QJsonValue(QJsonArray()));

    const QJsonObject reported = sessionWith({}, 42).toJson();
    QCOMPARE(reported.value(u"reportedTotalSeconds"), QJsonValue(42));
}

void TestSession::rejectsBadRecords_data()
{
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<QString>("message");

    QJsonObject json = validSessionJson();
    json.remove(u"deviceId");
    QTest::newRow("missing deviceId") << json << u"Missing required field: deviceId"_s;

    json = validSessionJson();
    json.remove(u"projectName");
    json.insert(u"mouseCount", u"1"_s);
    QTest::newRow("first bad field in order is named")
            << json << u"Missing required field: projectName"_s;

    json = validSessionJson();
    json.insert(u"activityScore", QJsonValue::Null);
    QTest::newRow("null activityScore")
            << json << u"Field 'activityScore' has wrong type, expected double"_s;

    json = validSessionJson();
    json.insert(u"status", u"Active"_s);
    QTest::newRow("status with capital A") << json << u"Unknown SessionStatus: Active"_s;

    json = validSessionJson();
    json.insert(u"intervals", QJsonArray{ QJsonObject{ { u"id"_s, u"x"_s } } });
    QTest::newRow("failing interval") << json << u"Missing required field: startedAt"_s;
}

void TestSession::rejectsBadRecords()
{
    QFETCH(QJsonObject, json);
    QFETCH(QString, message);

    QCOMPARE(TestSupport::decodingFailureOf([&] { Session::fromJson(json); }), message);
}

void TestSession::readsLenientIntervalLists()
{
    QJsonObject json = validSessionJson();
    json.remove(u"intervals");
    QVERIFY(Session::fromJson(json).intervals.isEmpty());

    const QJsonObject element{ { u"id"_s, u"not a uuid"_s },
                               { u"startedAt"_s, u"garbage"_s },
                               { u"stoppedAt"_s, QJsonValue::Null } };
    json.insert(u"intervals", QJsonArray{ 7, element });
    const Session session = Session::fromJson(json);

    QCOMPARE(session.intervals.size(), 1);
    QVERIFY(session.intervals.first().id.isNull());
    QVERIFY(!session.intervals.first().startedAt.isValid());
    QVERIFY(!session.intervals.first().stoppedAt.has_value());
    QCOMPARE(session.status, SessionStatus::paused);
}

void TestSession::mapsStatusTexts()
{
    QCOMPARE(sessionStatusToString(SessionStatus::completed), u"completed"_s);
    QCOMPARE(sessionStatusToString(static_cast<SessionStatus>(7)), u"active"_s);
    QCOMPARE(sessionStatusFromString(u"paused"_s), SessionStatus::paused);
}

void TestSession::keepsANonFiniteScoreDecodable_data()
{
    QTest::addColumn<double>("score");

    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity();
}

void TestSession::keepsANonFiniteScoreDecodable()
{
    QFETCH(double, score);
    Session session = sessionWith({ interval(0, 1000) });
    session.activityScore = score;

    const QJsonObject json = session.toJson();

    QCOMPARE(json.value(u"activityScore"), QJsonValue(0.0));
    QCOMPARE(Session::fromJson(json).activityScore, 0.0);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestSession)
#include "tst_session.moc"
