#include "TestEnvironment.h"

#include "FreshXdgRoot.h"
#include "models/RemoteConfig.h"
#include "storage/ApiTimezone.h"
#include "storage/Paths.h"
#include "storage/Preferences.h"
#include "storage/StoreTestHooks.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
namespace ApiTimezone = Services::ApiTimezone;
using Models::RemoteConfig;
using Storage::Preferences;
using Storage::PreferenceKeys::apiTimezoneIdentifier;

namespace {

QString systemIdentifier()
{
    return QString::fromLatin1(QTimeZone::systemTimeZoneId());
}

std::optional<RemoteConfig> configWithZone(std::optional<QString> zone)
{
    RemoteConfig config;
    config.deviceId = u"D"_s;
    config.appTimezone = std::move(zone);
    return config;
}

std::optional<QString> storedIdentifier()
{
    if (!Preferences::instance().contains(apiTimezoneIdentifier))
        return std::nullopt;
    return Preferences::instance().value(apiTimezoneIdentifier).toString();
}

// Sets TZ for one test and gives the machine's value back afterwards.
class SystemZone final
{
public:
    SystemZone()
        : m_saved(qgetenv("TZ"))
        , m_wasSet(qEnvironmentVariableIsSet("TZ"))
    {
    }
    ~SystemZone()
    {
        if (m_wasSet)
            qputenv("TZ", m_saved);
        else
            qunsetenv("TZ");
    }
    SystemZone(const SystemZone &) = delete;
    SystemZone &operator=(const SystemZone &) = delete;

    void set(const QByteArray &zone) { qputenv("TZ", zone); }

private:
    QByteArray m_saved;
    bool m_wasSet = false;
};

enum class Cache { Missing, NotJson, Undecodable, WithZone, WithoutZone };

} // namespace

// Runs under several TZ values, so "the system zone" differs between runs.
class TestApiTimezone : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void decidesIdentifierFromConfig_data();
    void decidesIdentifierFromConfig();
    void storesIdentifierOfConfig();
    void followsSystemZoneUntilStored();
    void keepsUnknownStoredIdentifierButFallsBackForZone_data();
    void keepsUnknownStoredIdentifierButFallsBackForZone();
    void givesZoneOfGivenIdentifier_data();
    void givesZoneOfGivenIdentifier();
    void restoresFromCachedConfig_data();
    void restoresFromCachedConfig();
    void clearRemovesIdentifier();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestApiTimezone::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
    Storage::PreferencesTestHooks::reopen();
}

void TestApiTimezone::cleanup()
{
    m_root.reset();
}

void TestApiTimezone::decidesIdentifierFromConfig_data()
{
    QTest::addColumn<std::optional<RemoteConfig>>("config");
    QTest::addColumn<QString>("identifier");

    QTest::newRow("valid zone with spaces around it")
            << configWithZone(u"  Asia/Kolkata \t"_s) << u"Asia/Kolkata"_s;
    QTest::newRow("unknown zone") << configWithZone(u"Mars/Olympus_Mons"_s) << systemIdentifier();
    // Qt 6.4 alone would take a bare word for a POSIX rule of UTC+0.
    QTest::newRow("bare word that names no zone") << configWithZone(u"abc"_s) << systemIdentifier();
    QTest::newRow("zone name without a slash") << configWithZone(u"CET"_s) << u"CET"_s;
    QTest::newRow("UTC") << configWithZone(u" UTC"_s) << u"UTC"_s;
    QTest::newRow("offset from UTC") << configWithZone(u"UTC+03:00"_s) << u"UTC+03:00"_s;
    QTest::newRow("blank zone") << configWithZone(u"   "_s) << systemIdentifier();
    QTest::newRow("no zone") << configWithZone(std::nullopt) << systemIdentifier();
    QTest::newRow("no configuration") << std::optional<RemoteConfig>() << systemIdentifier();
}

void TestApiTimezone::decidesIdentifierFromConfig()
{
    QFETCH(std::optional<RemoteConfig>, config);
    QFETCH(QString, identifier);

    QCOMPARE(ApiTimezone::identifierFromConfig(config), identifier);
    ApiTimezone::storeFromConfig(config);
    QCOMPARE(storedIdentifier(), identifier);
}

void TestApiTimezone::storesIdentifierOfConfig()
{
    ApiTimezone::storeFromConfig(configWithZone(u" America/Santiago "_s));

    Storage::PreferencesTestHooks::reopen();
    QCOMPARE(ApiTimezone::identifier(), u"America/Santiago"_s);
    QCOMPARE(ApiTimezone::zone().id(), QByteArray("America/Santiago"));
}

void TestApiTimezone::followsSystemZoneUntilStored()
{
    SystemZone system;
    system.set("Pacific/Honolulu");
    QCOMPARE(ApiTimezone::identifier(), u"Pacific/Honolulu"_s);
    QCOMPARE(ApiTimezone::zone().id(), QByteArray("Pacific/Honolulu"));
    system.set("Europe/Berlin");
    QCOMPARE(ApiTimezone::identifier(), u"Europe/Berlin"_s);

    // A configuration without a usable zone fixes the system zone of that moment.
    ApiTimezone::storeFromConfig(configWithZone(std::nullopt));
    system.set("Pacific/Honolulu");

    QCOMPARE(ApiTimezone::identifier(), u"Europe/Berlin"_s);
    QCOMPARE(ApiTimezone::zone().id(), QByteArray("Europe/Berlin"));
}

void TestApiTimezone::keepsUnknownStoredIdentifierButFallsBackForZone_data()
{
    QTest::addColumn<QString>("stored");

    QTest::newRow("unknown region and city") << u"Not/A_Zone"_s;
    QTest::newRow("bare word that names no zone") << u"null"_s;
}

void TestApiTimezone::keepsUnknownStoredIdentifierButFallsBackForZone()
{
    QFETCH(QString, stored);
    Preferences::instance().setValue(apiTimezoneIdentifier, stored);

    QCOMPARE(ApiTimezone::identifier(), stored);
    QCOMPARE(ApiTimezone::zone(), QTimeZone::systemTimeZone());
}

void TestApiTimezone::givesZoneOfGivenIdentifier_data()
{
    QTest::addColumn<std::optional<QString>>("identifier");
    QTest::addColumn<QByteArray>("zone");

    QTest::newRow("valid zone with spaces around it")
            << std::optional<QString>(u" Asia/Bangkok "_s) << QByteArray("Asia/Bangkok");
    QTest::newRow("unknown zone") << std::optional<QString>(u"Nowhere/Land"_s)
                                  << QTimeZone::systemTimeZoneId();
    QTest::newRow("bare word that names no zone")
            << std::optional<QString>(u"abc"_s) << QTimeZone::systemTimeZoneId();
    QTest::newRow("zone name without a slash")
            << std::optional<QString>(u"GMT"_s) << QByteArray("GMT");
    QTest::newRow("empty text") << std::optional<QString>(u""_s) << QTimeZone::systemTimeZoneId();
    QTest::newRow("no identifier") << std::optional<QString>() << QTimeZone::systemTimeZoneId();
}

void TestApiTimezone::givesZoneOfGivenIdentifier()
{
    QFETCH(std::optional<QString>, identifier);
    QFETCH(QByteArray, zone);
    Preferences::instance().setValue(apiTimezoneIdentifier, u"Asia/Kolkata"_s);

    QCOMPARE(ApiTimezone::fromIdentifier(identifier).id(), zone);
    QCOMPARE(storedIdentifier(), u"Asia/Kolkata"_s);
}

void TestApiTimezone::restoresFromCachedConfig_data()
{
    QTest::addColumn<Cache>("cache");
    QTest::addColumn<QString>("identifier");

    QTest::newRow("no cached file leaves the stored zone") << Cache::Missing << u"Europe/Berlin"_s;
    QTest::newRow("text that is not JSON leaves the stored zone")
            << Cache::NotJson << u"Europe/Berlin"_s;
    QTest::newRow("undecodable configuration leaves the stored zone")
            << Cache::Undecodable << u"Europe/Berlin"_s;
    QTest::newRow("configuration with a zone") << Cache::WithZone << u"America/Santiago"_s;
    QTest::newRow("configuration without a zone stores the system zone")
            << Cache::WithoutZone << systemIdentifier();
}

void TestApiTimezone::restoresFromCachedConfig()
{
    QFETCH(Cache, cache);
    QFETCH(QString, identifier);
    Preferences::instance().setValue(apiTimezoneIdentifier, u"Europe/Berlin"_s);
    QByteArray content;
    if (cache == Cache::NotJson)
        content = "{ not json";
    else if (cache == Cache::Undecodable)
        content = R"({"device_id":"D"})";
    else if (cache != Cache::Missing)
        content = QJsonDocument(configWithZone(cache == Cache::WithZone
                                                       ? std::optional(u"America/Santiago"_s)
                                                       : std::nullopt)
                                        ->toJson())
                          .toJson();
    if (cache != Cache::Missing) {
        QFile file(Platform::Paths::configFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    ApiTimezone::restoreFromCachedConfig();

    QCOMPARE(storedIdentifier(), identifier);
}

void TestApiTimezone::clearRemovesIdentifier()
{
    ApiTimezone::storeFromConfig(configWithZone(u"Asia/Kolkata"_s));

    ApiTimezone::clear();

    QCOMPARE(storedIdentifier(), std::nullopt);
    QCOMPARE(ApiTimezone::identifier(), systemIdentifier());
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestApiTimezone)
#include "tst_apitimezone.moc"
