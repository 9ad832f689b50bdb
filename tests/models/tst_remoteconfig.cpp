#include "DecodingFailure.h"
#include "TestEnvironment.h"

#include "models/JsonDecodingError.h"
#include "models/RemoteConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using namespace Models;
using namespace Qt::StringLiterals;

namespace {

QJsonObject parsed(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

// Single-line raw strings: moc does not follow a raw string across lines.
QJsonObject fullConfig()
{
    return parsed(R"({"device_id":"DEV-1","projects":[{"project_id":"p1","project_name":"Alpha"},)"
                  R"({"project_id":"p2","project_name":"Beta"}],"screenshot_interval_minutes":10,)"
                  R"("idle_minutes_threshold":5,"discard_idle_time":true,"upload_batch_size":50,)"
                  R"("idle_action":"pause","name":"Ann","company_name":"Acme",)"
                  R"("latest_client_version_linux":"1.4.2",)"
                  R"("client_download_url_linux":"https://example.com/cw.AppImage",)"
                  R"("app_timezone":"Asia/Bangkok","today_total_seconds":3600,)"
                  R"("today_date":"2025-03-04","unknown_key":[1,2]})");
}

QJsonObject minimalConfig()
{
    return parsed(R"({"device_id":"DEV-1","projects":[],"screenshot_interval_minutes":0,)"
                  R"("idle_minutes_threshold":-5,"discard_idle_time":false})");
}

} // namespace

class TestRemoteConfig : public QObject
{
    Q_OBJECT

private slots:
    void decodesFullConfig();
    void keepsValuesWithoutDefaultsOrBounds();
    void roundTrips_data();
    void roundTrips();
    void readsOptionalFieldsOfAnotherKindAsAbsent_data();
    void readsOptionalFieldsOfAnotherKindAsAbsent();
    void skipsProjectsThatAreNotObjects();
    void rejectsBadConfigs_data();
    void rejectsBadConfigs();
};

void TestRemoteConfig::decodesFullConfig()
{
    const RemoteConfig config = RemoteConfig::fromJson(fullConfig());

    QCOMPARE(config.deviceId, u"DEV-1"_s);
    QCOMPARE(config.projects, (QList<Project>{ { u"p1"_s, u"Alpha"_s }, { u"p2"_s, u"Beta"_s } }));
    QCOMPARE(config.screenshotIntervalMinutes, 10);
    QCOMPARE(config.idleMinutesThreshold, 5);
    QCOMPARE(config.discardIdleTime, true);
    QCOMPARE(config.uploadBatchSize, std::optional(50));
    QCOMPARE(config.idleAction, std::optional(u"pause"_s));
    QCOMPARE(config.name, std::optional(u"Ann"_s));
    QCOMPARE(config.companyName, std::optional(u"Acme"_s));
    QCOMPARE(config.latestClientVersionLinux, std::optional(u"1.4.2"_s));
    QCOMPARE(config.clientDownloadUrlLinux, std::optional(u"https://example.com/cw.AppImage"_s));
    QCOMPARE(config.appTimezone, std::optional(u"Asia/Bangkok"_s));
    QCOMPARE(config.todayTotalSeconds, std::optional(3600));
    QCOMPARE(config.todayDate, std::optional(u"2025-03-04"_s));
}

void TestRemoteConfig::keepsValuesWithoutDefaultsOrBounds()
{
    const RemoteConfig config = RemoteConfig::fromJson(minimalConfig());

    QCOMPARE(config.screenshotIntervalMinutes, 0);
    QCOMPARE(config.idleMinutesThreshold, -5);
    QVERIFY(config.projects.isEmpty());
    QVERIFY(!config.uploadBatchSize.has_value());
    QVERIFY(!config.idleAction.has_value());
    QVERIFY(!config.appTimezone.has_value());
    QVERIFY(!config.todayTotalSeconds.has_value());
}

void TestRemoteConfig::roundTrips_data()
{
    QTest::addColumn<QJsonObject>("json");

    QTest::newRow("every field") << fullConfig();
    QTest::newRow("required fields only") << minimalConfig();
}

void TestRemoteConfig::roundTrips()
{
    QFETCH(QJsonObject, json);
    const RemoteConfig config = RemoteConfig::fromJson(json);

    const QJsonObject encoded = config.toJson();

    QCOMPARE(RemoteConfig::fromJson(encoded), config);
    json.remove(u"unknown_key");
    QCOMPARE(encoded, json);
    const QByteArray text = QJsonDocument(encoded).toJson(QJsonDocument::Compact);
    QVERIFY(!text.contains("null"));
}

void TestRemoteConfig::readsOptionalFieldsOfAnotherKindAsAbsent_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QJsonValue>("value");

    QTest::newRow("today total as true") << u"today_total_seconds"_s << QJsonValue(true);
    QTest::newRow("today total as text") << u"today_total_seconds"_s << QJsonValue(u"3600"_s);
    QTest::newRow("idle action null") << u"idle_action"_s << QJsonValue(QJsonValue::Null);
    QTest::newRow("batch size as text") << u"upload_batch_size"_s << QJsonValue(u"50"_s);
    QTest::newRow("time zone as object") << u"app_timezone"_s << QJsonValue(QJsonObject());
    QTest::newRow("today date as number") << u"today_date"_s << QJsonValue(20250304);
}

void TestRemoteConfig::readsOptionalFieldsOfAnotherKindAsAbsent()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QJsonObject json = fullConfig();
    json.insert(key, value);

    const QJsonObject encoded = RemoteConfig::fromJson(json).toJson();

    QVERIFY(!encoded.contains(key));
    QCOMPARE(encoded.size(), fullConfig().size() - 2); // the unknown key and this one
}

void TestRemoteConfig::skipsProjectsThatAreNotObjects()
{
    QJsonObject json = minimalConfig();
    json.insert(u"projects", QJsonArray{ u"p0"_s, QJsonValue::Null,
                                         QJsonObject{ { u"project_id"_s, u"p1"_s },
                                                      { u"project_name"_s, u"Alpha"_s } } });

    QCOMPARE(RemoteConfig::fromJson(json).projects, (QList<Project>{ { u"p1"_s, u"Alpha"_s } }));
}

void TestRemoteConfig::rejectsBadConfigs_data()
{
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<QString>("message");

    const auto with = [](QLatin1StringView key, const QJsonValue &value) {
        QJsonObject json = fullConfig();
        json.insert(key, value);
        return json;
    };
    QJsonObject json = fullConfig();
    json.remove(u"projects");

    QTest::newRow("no projects") << json << u"Missing required field: projects"_s;
    QTest::newRow("projects null") << with("projects"_L1, QJsonValue::Null)
                                   << u"Field 'projects' has wrong type, expected array"_s;
    QTest::newRow("project id as number")
            << with("projects"_L1, QJsonArray{ QJsonObject{ { u"project_id"_s, 7 },
                                                            { u"project_name"_s, u"Alpha"_s } } })
            << u"Field 'project_id' has wrong type, expected string"_s;
    QTest::newRow("project without name")
            << with("projects"_L1, QJsonArray{ QJsonObject{ { u"project_id"_s, u"p1"_s } } })
            << u"Missing required field: project_name"_s;
    QTest::newRow("discard_idle_time as 1") << with("discard_idle_time"_L1, 1)
                                            << u"Field 'discard_idle_time' has wrong type, "
                                               u"expected bool"_s;
    QTest::newRow("discard_idle_time as text")
            << with("discard_idle_time"_L1, u"true"_s)
            << u"Field 'discard_idle_time' has wrong type, expected bool"_s;
    QTest::newRow("interval as text")
            << with("screenshot_interval_minutes"_L1, u"10"_s)
            << u"Field 'screenshot_interval_minutes' has wrong type, expected int"_s;

    json = with("discard_idle_time"_L1, 1);
    json.remove(u"idle_minutes_threshold");
    json.remove(u"device_id");
    QTest::newRow("first bad field in order is named")
            << json << u"Missing required field: device_id"_s;
    json.insert(u"device_id", u"D"_s);
    QTest::newRow("threshold named before discard flag")
            << json << u"Missing required field: idle_minutes_threshold"_s;
}

void TestRemoteConfig::rejectsBadConfigs()
{
    QFETCH(QJsonObject, json);
    QFETCH(QString, message);

    QCOMPARE(TestSupport::decodingFailureOf([&] { RemoteConfig::fromJson(json); }), message);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestRemoteConfig)
#include "tst_remoteconfig.moc"
