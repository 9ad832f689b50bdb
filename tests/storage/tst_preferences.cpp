#include "TestEnvironment.h"

#include "FreshXdgRoot.h"
#include "storage/Preferences.h"
#include "storage/StoreTestHooks.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#include <latch>
#include <memory>
#include <thread>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using namespace Storage;

namespace {

const QUuid sessionId = QUuid(u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s);

// The lines of each [section] of an INI file, in file order.
QMap<QString, QStringList> iniSections(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QMap<QString, QStringList> sections;
    QString current;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (line.startsWith(u'[') && line.endsWith(u']'))
            current = line.mid(1, line.size() - 2);
        else
            sections[current].append(line);
    }
    return sections;
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void writesIniLayout();
    void writesReachTheFileAtOnce();
    void rewritesTheFileOnlyForAChange();
    void createsUpperCaseDeviceIdOnce();
    void readsLowerCaseDeviceIdAsUpperCase();
    void givesConcurrentFirstCallersOneDeviceId();
    void namesHeartbeatMarkerBySession();
    void readsHeartbeatBackToTheMillisecond_data();
    void readsHeartbeatBackToTheMillisecond();
    void readsUnusableHeartbeatAsNone_data();
    void readsUnusableHeartbeatAsNone();
    void clearsHeartbeat();
    void savesAndClearsUserProfile();
    void readsDailyTargetDefault();
    void showsOneThreadsWriteToAnother();
    void leavesNoEventQueuedByWrites();

private:
    QString preferencesPath() const { return m_root->configDir() + "/preferences.ini"_L1; }

    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestPreferences::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
    PreferencesTestHooks::reopen();
}

void TestPreferences::cleanup()
{
    m_root.reset();
}

void TestPreferences::writesIniLayout()
{
    Preferences &preferences = Preferences::instance();
    preferences.setValue(PreferenceKeys::palette, u"dusk"_s);
    preferences.setValue(PreferenceKeys::dailyTargetSeconds, 27000);
    preferences.setValue(PreferenceKeys::screencastRestoreToken, u"token-1"_s);
    const QString id = deviceId();

    const QMap<QString, QStringList> sections = iniSections(preferencesPath());

    QCOMPARE(sections.keys(), QStringList({ u"General"_s, u"wayland"_s }));
    QCOMPARE(sections.value(u"General"_s),
             QStringList({ u"com.tembrix.clockwarden.device_id="_s + id,
                           u"com.tembrix.clockwarden.palette=dusk"_s,
                           u"dailyTargetSeconds=27000"_s }));
    QCOMPARE(sections.value(u"wayland"_s), QStringList({ u"screencast_restore_token=token-1"_s }));
}

void TestPreferences::writesReachTheFileAtOnce()
{
    Preferences::instance().setValue(PreferenceKeys::apiBaseUrl, u"https://acme.example/"_s);
    Preferences::instance().setValue(PreferenceKeys::lastSelectedCompanyEndpoint, u"x"_s);
    Preferences::instance().remove(PreferenceKeys::lastSelectedCompanyEndpoint);

    const QSettings reader(preferencesPath(), QSettings::IniFormat);
    QCOMPARE(reader.value(PreferenceKeys::apiBaseUrl).toString(), u"https://acme.example/"_s);
    QVERIFY(!reader.contains(PreferenceKeys::lastSelectedCompanyEndpoint));
    QVERIFY(Preferences::instance().contains(PreferenceKeys::apiBaseUrl));
}

void TestPreferences::rewritesTheFileOnlyForAChange()
{
    // Every write replaces the file with a new one: its inode tells whether it was written.
    const auto inode = [this] {
        struct stat info = {};
        return ::stat(QFile::encodeName(preferencesPath()).constData(), &info) == 0 ? info.st_ino
                                                                                    : ino_t(0);
    };
    Preferences &preferences = Preferences::instance();
    preferences.setValue(PreferenceKeys::apiTimezoneIdentifier, u"Asia/Bangkok"_s);
    const ino_t written = inode();
    QVERIFY(written != 0);

    preferences.setValue(PreferenceKeys::apiTimezoneIdentifier, u"Asia/Bangkok"_s);
    QCOMPARE(inode(), written);

    preferences.setValue(PreferenceKeys::apiTimezoneIdentifier, u"Europe/Paris"_s);
    QVERIFY(inode() != written);
    const QSettings reader(preferencesPath(), QSettings::IniFormat);
    QCOMPARE(reader.value(PreferenceKeys::apiTimezoneIdentifier).toString(), u"Europe/Paris"_s);
}

void TestPreferences::createsUpperCaseDeviceIdOnce()
{
    const QString id = deviceId();

    static const QRegularExpression upperUuid(u"^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"_s);
    QVERIFY2(upperUuid.match(id).hasMatch(), qPrintable(id));
    QCOMPARE(deviceId(), id);
    const QSettings freshSettings(preferencesPath(), QSettings::IniFormat);
    QCOMPARE(freshSettings.value(PreferenceKeys::deviceId).toString(), id);
    PreferencesTestHooks::reopen();
    QCOMPARE(deviceId(), id);
}

void TestPreferences::readsLowerCaseDeviceIdAsUpperCase()
{
    const QString stored = u"0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s;
    {
        QSettings writer(preferencesPath(), QSettings::IniFormat);
        writer.setValue(PreferenceKeys::deviceId, stored);
    }
    PreferencesTestHooks::reopen();

    QCOMPARE(deviceId(), stored.toUpper());

    const QSettings reader(preferencesPath(), QSettings::IniFormat);
    QCOMPARE(reader.value(PreferenceKeys::deviceId).toString(), stored);
}

void TestPreferences::givesConcurrentFirstCallersOneDeviceId()
{
    // Several rounds, each on a fresh file, to give an unguarded check-then-create a chance to
    // race.
    for (int round = 0; round < 20; ++round) {
        FreshXdgRoot root;
        PreferencesTestHooks::reopen();
        QString first;
        QString second;
        std::latch start(2);
        std::thread a([&] {
            start.arrive_and_wait();
            first = deviceId();
        });
        std::thread b([&] {
            start.arrive_and_wait();
            second = deviceId();
        });
        a.join();
        b.join();

        QCOMPARE(first, second);
        QCOMPARE(QSettings(root.configDir() + "/preferences.ini"_L1, QSettings::IniFormat)
                         .value(PreferenceKeys::deviceId)
                         .toString(),
                 first);
    }
}

void TestPreferences::namesHeartbeatMarkerBySession()
{
    QCOMPARE(heartbeatMarkerKey(sessionId),
             u"com.tembrix.clockwarden.heartbeat.0b5c7e0e-3f57-4e1a-9d55-3a0c4f0f7a11"_s);
}

void TestPreferences::readsHeartbeatBackToTheMillisecond_data()
{
    QTest::addColumn<QDateTime>("moment");

    QTest::newRow("a moment with milliseconds")
            << QDateTime(QDate(2025, 3, 1), QTime(9, 30, 0, 123), Qt::UTC);
    // seconds * 1000 lands just below this moment's millisecond.
    QTest::newRow("a moment whose product falls short")
            << QDateTime::fromMSecsSinceEpoch(2198518506693, Qt::UTC);
}

void TestPreferences::readsHeartbeatBackToTheMillisecond()
{
    QFETCH(QDateTime, moment);
    setLastHeartbeat(sessionId, moment);
    PreferencesTestHooks::reopen(); // read back from the file's text form

    const std::optional<QDateTime> read = lastHeartbeat(sessionId);

    QVERIFY(read);
    QCOMPARE(*read, moment);
    QCOMPARE(read->timeSpec(), Qt::UTC);
}

void TestPreferences::readsUnusableHeartbeatAsNone_data()
{
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("missing marker") << QVariant();
    QTest::newRow("zero") << QVariant(0.0);
    QTest::newRow("negative") << QVariant(-12.5);
    QTest::newRow("text that is not a number") << QVariant(u"soon"_s);
    QTest::newRow("not a finite number") << QVariant(u"nan"_s);
}

void TestPreferences::readsUnusableHeartbeatAsNone()
{
    QFETCH(QVariant, stored);
    if (stored.isValid()) {
        QSettings writer(preferencesPath(), QSettings::IniFormat);
        writer.setValue(heartbeatMarkerKey(sessionId), stored);
    }
    PreferencesTestHooks::reopen();

    QCOMPARE(lastHeartbeat(sessionId), std::nullopt);
}

void TestPreferences::clearsHeartbeat()
{
    setLastHeartbeat(sessionId, QDateTime::currentDateTimeUtc());

    clearLastHeartbeat(sessionId);

    QCOMPARE(lastHeartbeat(sessionId), std::nullopt);
    QVERIFY(!QSettings(preferencesPath(), QSettings::IniFormat)
                     .contains(heartbeatMarkerKey(sessionId)));
}

void TestPreferences::savesAndClearsUserProfile()
{
    saveUserProfile(u"Ada"_s, u"Acme"_s);
    QCOMPARE(savedUserName(), u"Ada"_s);
    QCOMPARE(savedCompanyName(), u"Acme"_s);

    saveUserProfile(QString(), std::nullopt);
    QCOMPARE(savedUserName(), std::nullopt);
    QCOMPARE(savedCompanyName(), std::nullopt);
    QVERIFY(Preferences::instance().contains(PreferenceKeys::userName));
    QVERIFY(!Preferences::instance().contains(PreferenceKeys::companyName));

    saveUserProfile(u"Ada"_s, u"Acme"_s);
    clearUserProfile();
    QVERIFY(!Preferences::instance().contains(PreferenceKeys::userName));
    QVERIFY(!Preferences::instance().contains(PreferenceKeys::companyName));
}

void TestPreferences::readsDailyTargetDefault()
{
    QCOMPARE(Preferences::instance()
                     .value(PreferenceKeys::dailyTargetSeconds,
                            PreferenceKeys::dailyTargetSecondsDefault)
                     .toInt(),
             28800);
}

void TestPreferences::showsOneThreadsWriteToAnother()
{
    std::thread writer(
            [] { Preferences::instance().setValue(PreferenceKeys::palette, u"night"_s); });
    writer.join();

    QCOMPARE(Preferences::instance().value(PreferenceKeys::palette).toString(), u"night"_s);
}

void TestPreferences::leavesNoEventQueuedByWrites()
{
    // Each change asks QSettings for a deferred sync; with no thread to deliver those requests they
    // would pile up for the life of the process.
    for (int i = 0; i < 20; ++i) {
        Preferences::instance().setValue(PreferenceKeys::palette, QString::number(i));
        setLastHeartbeat(sessionId, QDateTime::currentDateTimeUtc());
        clearLastHeartbeat(sessionId);
    }
    std::thread writer([] { saveUserProfile(u"Ada"_s, std::nullopt); });
    writer.join();
    deviceId();
    Preferences::instance().sync();

    QCOMPARE(PreferencesTestHooks::deliverQueuedEvents(), 0);
    QCOMPARE(Preferences::instance().value(PreferenceKeys::palette).toString(), u"19"_s);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestPreferences)
#include "tst_preferences.moc"
