#include "DecodingFailure.h"
#include "TestEnvironment.h"

#include "models/JsonDecodingError.h"
#include "models/UploadTask.h"

#include <QTest>
#include <QTimeZone>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

QJsonObject validTaskJson()
{
    return QJsonObject{
        { u"id"_s, u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s },
        { u"sessionId"_s, u"00000000-0000-0000-0000-000000000000"_s },
        { u"type"_s, u"activitySegment"_s },
        { u"jsonPayload"_s, u"eyJkYXRlIjoiMjAyNS0wMy0wNCIsIm51bWJlciI6NTR9"_s },
        { u"retryCount"_s, 2 },
        { u"createdAt"_s, u"2025-03-04T02:15:07.123Z"_s },
        { u"status"_s, u"failed"_s },
        { u"priority"_s, 40 },
    };
}

} // namespace

class TestUploadTask : public QObject
{
    Q_OBJECT

private slots:
    void convertsTypeTexts_data();
    void convertsTypeTexts();
    void convertsStatusTexts_data();
    void convertsStatusTexts();
    void rejectsUnknownTexts();
    void servesStartsBeforeHeartbeatsSegmentsAndFiles();
    void decodesValidTask();
    void roundTripsInUtcWithMilliseconds();
    void leavesAbsentOptionalsOut();
    void keepsPresentEmptyPayload();
    void readsMalformedValuesWithoutFailing();
    void rejectsBadRecords_data();
    void rejectsBadRecords();
};

void TestUploadTask::convertsTypeTexts_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readsBack");

    QTest::newRow("metadata") << 0 << u"metadata"_s << true;
    QTest::newRow("heartbeat") << 1 << u"heartbeat"_s << true;
    QTest::newRow("screenshot") << 2 << u"screenshot"_s << true;
    QTest::newRow("activity segment") << 3 << u"activitySegment"_s << true;
    QTest::newRow("start session") << 4 << u"startSession"_s << true;
    QTest::newRow("value 9 falls back") << 9 << u"metadata"_s << false;
    QTest::newRow("negative value falls back") << -1 << u"metadata"_s << false;
}

void TestUploadTask::convertsTypeTexts()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QFETCH(bool, readsBack);

    QCOMPARE(uploadTaskTypeToString(static_cast<UploadTaskType>(value)), text);
    if (readsBack)
        QCOMPARE(uploadTaskTypeFromString(text), static_cast<UploadTaskType>(value));
}

void TestUploadTask::convertsStatusTexts_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("readsBack");

    QTest::newRow("pending") << 0 << u"pending"_s << true;
    QTest::newRow("in progress") << 1 << u"inProgress"_s << true;
    QTest::newRow("failed") << 2 << u"failed"_s << true;
    QTest::newRow("completed") << 3 << u"completed"_s << true;
    QTest::newRow("value 7 falls back") << 7 << u"pending"_s << false;
    QTest::newRow("negative value falls back") << -2 << u"pending"_s << false;
}

void TestUploadTask::convertsStatusTexts()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QFETCH(bool, readsBack);

    QCOMPARE(uploadTaskStatusToString(static_cast<UploadTaskStatus>(value)), text);
    if (readsBack)
        QCOMPARE(uploadTaskStatusFromString(text), static_cast<UploadTaskStatus>(value));
}

void TestUploadTask::rejectsUnknownTexts()
{
    QCOMPARE(TestSupport::decodingFailureOf([] { uploadTaskTypeFromString(u"Heartbeat"_s); }),
             u"Unknown UploadTaskType: Heartbeat"_s);
    QCOMPARE(TestSupport::decodingFailureOf([] { uploadTaskStatusFromString(u"Pending"_s); }),
             u"Unknown UploadTaskStatus: Pending"_s);
}

void TestUploadTask::servesStartsBeforeHeartbeatsSegmentsAndFiles()
{
    QCOMPARE(UploadTask::startSessionPriority, 110);
    QCOMPARE(UploadTask::heartbeatPriority, 100);
    QCOMPARE(UploadTask::activitySegmentPriority, 40);
    QCOMPARE(UploadTask::screenshotPriority, 10);
}

void TestUploadTask::decodesValidTask()
{
    const UploadTask task = UploadTask::fromJson(validTaskJson());

    QCOMPARE(task.id, QUuid(u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s));
    QVERIFY(task.sessionId.isNull());
    QCOMPARE(task.type, UploadTaskType::activitySegment);
    QVERIFY(!task.filePath.has_value());
    QCOMPARE(task.jsonPayload, std::optional(QByteArray(R"({"date":"2025-03-04","number":54})")));
    QCOMPARE(task.retryCount, 2);
    QCOMPARE(task.createdAt, QDateTime(QDate(2025, 3, 4), QTime(2, 15, 7, 123), Qt::UTC));
    QCOMPARE(task.status, UploadTaskStatus::failed);
    QCOMPARE(task.priority, 40);
}

void TestUploadTask::roundTripsInUtcWithMilliseconds()
{
    // A local time: the form must not depend on the zone the task was built in.
    const QDateTime created(QDate(2025, 3, 4), QTime(9, 15, 7, 123), QTimeZone("Asia/Bangkok"));
    const UploadTask task(QUuid::createUuid(), QUuid::createUuid(), UploadTaskType::startSession,
                          std::nullopt, QByteArray(R"({"session_id":"A"})"), 0,
                          created.toLocalTime(), UploadTaskStatus::pending,
                          UploadTask::startSessionPriority);

    const QJsonObject json = task.toJson();

    QCOMPARE(json.value(u"id").toString(), task.id.toString(QUuid::WithoutBraces).toLower());
    QCOMPARE(json.value(u"sessionId").toString(),
             task.sessionId.toString(QUuid::WithoutBraces).toLower());
    QCOMPARE(json.value(u"type").toString(), u"startSession"_s);
    QCOMPARE(json.value(u"jsonPayload").toString(), u"eyJzZXNzaW9uX2lkIjoiQSJ9"_s);
    QCOMPARE(json.value(u"createdAt").toString(), u"2025-03-04T02:15:07.123Z"_s);
    QCOMPARE(json.value(u"status").toString(), u"pending"_s);
    QCOMPARE(json.value(u"priority").toInt(), 110);

    const UploadTask decoded = UploadTask::fromJson(json);
    QCOMPARE(decoded, task);
    QCOMPARE(decoded.createdAt.timeSpec(), Qt::UTC);
}

void TestUploadTask::leavesAbsentOptionalsOut()
{
    const UploadTask task(QUuid::createUuid(), QUuid(), UploadTaskType::heartbeat, std::nullopt,
                          std::nullopt, 1, QDateTime::currentDateTimeUtc(),
                          UploadTaskStatus::inProgress, UploadTask::heartbeatPriority);

    const QJsonObject json = task.toJson();
    QVERIFY(!json.contains(u"filePath"));
    QVERIFY(!json.contains(u"jsonPayload"));

    const UploadTask decoded = UploadTask::fromJson(json);
    QVERIFY(!decoded.filePath.has_value());
    QVERIFY(!decoded.jsonPayload.has_value());
}

void TestUploadTask::keepsPresentEmptyPayload()
{
    UploadTask task = UploadTask::fromJson(validTaskJson());
    task.jsonPayload = QByteArray();
    task.filePath = u"/captures/global/shot.jpg"_s;

    const QJsonObject json = task.toJson();
    QCOMPARE(json.value(u"jsonPayload"), QJsonValue(u""_s));
    QCOMPARE(json.value(u"filePath"), QJsonValue(u"/captures/global/shot.jpg"_s));

    const UploadTask decoded = UploadTask::fromJson(json);
    QVERIFY(decoded.jsonPayload.has_value());
    QVERIFY(decoded.jsonPayload->isEmpty());
    QCOMPARE(decoded.filePath, task.filePath);
}

void TestUploadTask::readsMalformedValuesWithoutFailing()
{
    QJsonObject json = validTaskJson();
    json.insert(u"id", u"not a uuid"_s);
    json.insert(u"createdAt", u"yesterday"_s);
    json.insert(u"jsonPayload", u"e30*=\n"_s); // "{}" with characters outside the alphabet
    json.insert(u"filePath", 12);

    const UploadTask task = UploadTask::fromJson(json);

    QVERIFY(task.id.isNull());
    QVERIFY(!task.createdAt.isValid());
    QCOMPARE(task.jsonPayload, std::optional(QByteArray("{}")));
    QVERIFY(!task.filePath.has_value());
}

void TestUploadTask::rejectsBadRecords_data()
{
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<QString>("message");

    const auto without = [](QLatin1StringView key) {
        QJsonObject json = validTaskJson();
        json.remove(key);
        return json;
    };
    const auto with = [](QLatin1StringView key, const QJsonValue &value) {
        QJsonObject json = validTaskJson();
        json.insert(key, value);
        return json;
    };

    QTest::newRow("missing id") << without("id"_L1) << u"Missing required field: id"_s;
    QTest::newRow("null session id") << with("sessionId"_L1, QJsonValue::Null)
                                     << u"Field 'sessionId' has wrong type, expected string"_s;
    QTest::newRow("type with capital H")
            << with("type"_L1, u"Heartbeat"_s) << u"Unknown UploadTaskType: Heartbeat"_s;
    QTest::newRow("type as a number")
            << with("type"_L1, 1) << u"Field 'type' has wrong type, expected string"_s;
    QTest::newRow("retry count as text") << with("retryCount"_L1, u"2"_s)
                                         << u"Field 'retryCount' has wrong type, expected int"_s;
    QTest::newRow("missing createdAt")
            << without("createdAt"_L1) << u"Missing required field: createdAt"_s;
    QTest::newRow("unknown status")
            << with("status"_L1, u"done"_s) << u"Unknown UploadTaskStatus: done"_s;
    QTest::newRow("missing priority")
            << without("priority"_L1) << u"Missing required field: priority"_s;

    QJsonObject json = with("type"_L1, u"upload"_s);
    json.remove(u"retryCount");
    json.remove(u"id");
    QTest::newRow("first bad field in order is named") << json << u"Missing required field: id"_s;
    json.insert(u"id", u"x"_s);
    QTest::newRow("unknown type before a later missing field")
            << json << u"Unknown UploadTaskType: upload"_s;
}

void TestUploadTask::rejectsBadRecords()
{
    QFETCH(QJsonObject, json);
    QFETCH(QString, message);

    QCOMPARE(TestSupport::decodingFailureOf([&] { UploadTask::fromJson(json); }), message);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestUploadTask)
#include "tst_uploadtask.moc"
