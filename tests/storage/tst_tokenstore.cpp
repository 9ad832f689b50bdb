#include "TestEnvironment.h"

#include "FileSizeLimit.h"
#include "SecretServiceDaemon.h"
#include "TokenCredentialKey.h"
#include "storage/CredentialFallbackFile.h"
#include "storage/LibSecretCredentialStore.h"
#include "storage/TokenStore.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;
using namespace TestSupport::TokenCredentialKey;
using Models::AuthTokens;
using Platform::CredentialFallbackFile;
using Platform::LibSecretCredentialStore;
using Storage::TokenStore;

namespace {

enum class BackEnd { SecretService, FallbackFile };

AuthTokens tokens(const QString &access)
{
    const QDateTime expiry(QDate(2025, 3, 4), QTime(10, 15, 0, 123), Qt::UTC);
    return AuthTokens{ access,
                       u"refresh-"_s + access,
                       expiry,
                       expiry.addDays(30),
                       u"2025-03-04 17:15:00"_s,
                       u"2025-04-03 17:15:00"_s };
}

QByteArray compactJson(const AuthTokens &record)
{
    return QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact);
}

QByteArray readFallbackFile()
{
    QFile file(CredentialFallbackFile::path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Over both real back ends: gnome-keyring on the test's own bus, and the fallback file through a
// credential store built before the keyring started.
class TestTokenStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void savesCompactRecordUnderTokenKey_data();
    void savesCompactRecordUnderTokenKey();
    void replacesRecordWithoutGapForReaders_data();
    void replacesRecordWithoutGapForReaders();
    void failedSaveKeepsPreviousTokens();
    void secretServiceIsAskedOnlyWhatItWasNotTold();
    void loadsNoneForUndecodableRecord_data();
    void loadsNoneForUndecodableRecord();
    void clearKeepsOtherEntries();
    void doesNothingWithoutCredentialStore();

private:
    Storage::ICredentialStore *credentialStore(BackEnd backEnd) const;

    std::unique_ptr<LibSecretCredentialStore> m_fileStore;
    TestSupport::SecretServiceDaemon m_daemon;
    std::unique_ptr<LibSecretCredentialStore> m_keyringStore;
};

void TestTokenStore::initTestCase()
{
    m_fileStore = std::make_unique<LibSecretCredentialStore>();
    QVERIFY(!m_fileStore->isAvailable());
    QVERIFY(m_daemon.start());
    m_keyringStore = std::make_unique<LibSecretCredentialStore>();
    QVERIFY(m_keyringStore->isAvailable());
}

void TestTokenStore::cleanupTestCase()
{
    m_keyringStore.reset();
    m_daemon.stop();
}

void TestTokenStore::init()
{
    m_keyringStore->remove(service, account, kind);
    QFile::remove(CredentialFallbackFile::path());
}

Storage::ICredentialStore *TestTokenStore::credentialStore(BackEnd backEnd) const
{
    return backEnd == BackEnd::SecretService ? m_keyringStore.get() : m_fileStore.get();
}

void TestTokenStore::savesCompactRecordUnderTokenKey_data()
{
    QTest::addColumn<BackEnd>("backEnd");

    QTest::newRow("secret service") << BackEnd::SecretService;
    QTest::newRow("fallback file") << BackEnd::FallbackFile;
}

void TestTokenStore::savesCompactRecordUnderTokenKey()
{
    QFETCH(BackEnd, backEnd);
    TokenStore store(credentialStore(backEnd));

    store.save(tokens(u"first"_s));

    QCOMPARE(store.load(), tokens(u"first"_s));
    QCOMPARE(credentialStore(backEnd)->load(service, account, kind),
             compactJson(tokens(u"first"_s)));
    if (backEnd == BackEnd::SecretService) {
        const QString lookedUp = TestSupport::SecretServiceDaemon::secretTool(
                { u"lookup"_s, u"service"_s, service, u"account"_s, account, u"kind"_s, kind });
        QCOMPARE(lookedUp.toUtf8(), compactJson(tokens(u"first"_s)));
        QVERIFY(!QFile::exists(CredentialFallbackFile::path()));
    } else {
        const QJsonObject file = QJsonDocument::fromJson(readFallbackFile()).object();
        QCOMPARE(file.keys(), QStringList{ service + u'|' + account + u'|' + kind });
        QCOMPARE(QByteArray::fromBase64(file.begin()->toString().toLatin1()),
                 compactJson(tokens(u"first"_s)));
    }
}

void TestTokenStore::replacesRecordWithoutGapForReaders_data()
{
    savesCompactRecordUnderTokenKey_data();
}

void TestTokenStore::replacesRecordWithoutGapForReaders()
{
    QFETCH(BackEnd, backEnd);
    TokenStore store(credentialStore(backEnd));
    store.save(tokens(u"0"_s));

    std::atomic_bool done = false;
    std::atomic_int reads = 0;
    std::atomic_int gaps = 0;
    std::unique_ptr<QThread> reader(QThread::create([&] {
        // A credential store of its own, which remembers nothing the writer told its own.
        LibSecretCredentialStore keyring;
        const TokenStore readerStore(backEnd == BackEnd::SecretService ? &keyring
                                                                       : credentialStore(backEnd));
        while (!done) {
            if (!readerStore.load())
                ++gaps;
            ++reads;
        }
    }));
    reader->start();
    for (int i = 1; i <= 40; ++i)
        store.save(tokens(QString::number(i)));
    QTRY_VERIFY(reads > 0);
    done = true;
    QVERIFY(reader->wait(10000));

    QCOMPARE(gaps.load(), 0);
    QCOMPARE(store.load(), tokens(u"40"_s));
}

void TestTokenStore::failedSaveKeepsPreviousTokens()
{
    TokenStore store(m_fileStore.get());
    store.save(tokens(u"held"_s));

    {
        // Room for an emptied file, not for a new record.
        const TestSupport::FileSizeLimit limit(16);
        QVERIFY(limit.isActive());
        store.save(tokens(u"new"_s));
    }

    QCOMPARE(store.load(), tokens(u"held"_s));
}

void TestTokenStore::secretServiceIsAskedOnlyWhatItWasNotTold()
{
    // Another program's change to the item is seen only by a read that reaches the service.
    LibSecretCredentialStore other;
    LibSecretCredentialStore remembering;

    QVERIFY(remembering.store(service, account, kind, "first"));
    QVERIFY(other.store(service, account, kind, "second"));
    QCOMPARE(remembering.load(service, account, kind), QByteArray("first"));

    // A store the service never took leaves its value to the service.
    QVERIFY(!remembering.store(service, account, kind, QByteArray("zero\0byte", 9)));
    QCOMPARE(remembering.load(service, account, kind), QByteArray("second"));

    QVERIFY(remembering.remove(service, account, kind));
    QVERIFY(other.store(service, account, kind, "third"));
    QCOMPARE(remembering.load(service, account, kind), std::nullopt);

    // A key first read is asked for once.
    LibSecretCredentialStore fresh;
    QCOMPARE(fresh.load(service, account, kind), QByteArray("third"));
    QVERIFY(other.remove(service, account, kind));
    QCOMPARE(fresh.load(service, account, kind), QByteArray("third"));
}

void TestTokenStore::loadsNoneForUndecodableRecord_data()
{
    QTest::addColumn<QByteArray>("secret");

    QJsonObject missingField = tokens(u"a"_s).toJson();
    missingField.remove(u"expiresAtRaw"_s);
    QTest::newRow("record without a required field")
            << QJsonDocument(missingField).toJson(QJsonDocument::Compact);
    QTest::newRow("text that is not JSON") << QByteArray("access-token");
    QTest::newRow("a JSON array") << QByteArray("[{}]");
    QTest::newRow("empty secret") << QByteArray();
}

void TestTokenStore::loadsNoneForUndecodableRecord()
{
    QFETCH(QByteArray, secret);
    QVERIFY(m_fileStore->store(service, account, kind, secret));

    QVERIFY(!TokenStore(m_fileStore.get()).load());
}

void TestTokenStore::clearKeepsOtherEntries()
{
    QVERIFY(m_fileStore->store(u"a"_s, u"b"_s, u"c"_s, "other"));
    TokenStore store(m_fileStore.get());
    store.save(tokens(u"a"_s));

    store.clear();

    QVERIFY(!store.load());
    QCOMPARE(m_fileStore->load(u"a"_s, u"b"_s, u"c"_s), QByteArray("other"));
}

void TestTokenStore::doesNothingWithoutCredentialStore()
{
    TokenStore store(nullptr);

    store.save(tokens(u"a"_s));
    QVERIFY(!store.load());
    store.clear();

    QVERIFY(!QFile::exists(CredentialFallbackFile::path()));
    QVERIFY(!m_keyringStore->load(service, account, kind));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestTokenStore)
#include "tst_tokenstore.moc"
