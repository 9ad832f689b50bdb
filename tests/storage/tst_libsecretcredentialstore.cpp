#include "TestEnvironment.h"

#include "SecretServiceDaemon.h"
#include "TokenCredentialKey.h"
#include "storage/CredentialFallbackFile.h"
#include "storage/LibSecretCredentialStore.h"

#include <QFile>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

using namespace Qt::StringLiterals;
using namespace TestSupport::TokenCredentialKey;
using Platform::LibSecretCredentialStore;
using TestSupport::SecretServiceDaemon;

namespace {

QString searchItems()
{
    return SecretServiceDaemon::secretTool({ u"search"_s, u"--all"_s, u"service"_s, service,
                                             u"account"_s, account, u"kind"_s, kind });
}

} // namespace

// Against gnome-keyring on the test's own bus.
class TestLibSecretCredentialStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();
    void findsSecretService();
    void storesLoadsReplacesAndRemoves();
    void labelsItemWithSchemaAndAttributes();
    void replacesItemWithoutGapForReaders();
    void refusesSecretWithZeroByte();
    void keepsFileBackEndChosenBeforeServiceAppeared();

private:
    SecretServiceDaemon m_daemon;
    // Built while no secret service was on the bus.
    std::unique_ptr<LibSecretCredentialStore> m_storeFromBefore;
};

void TestLibSecretCredentialStore::initTestCase()
{
    m_storeFromBefore = std::make_unique<LibSecretCredentialStore>();
    QVERIFY(!m_storeFromBefore->isAvailable());
    QVERIFY(m_daemon.start());
}

void TestLibSecretCredentialStore::cleanupTestCase()
{
    m_daemon.stop();
}

void TestLibSecretCredentialStore::cleanup()
{
    LibSecretCredentialStore().remove(service, account, kind);
}

void TestLibSecretCredentialStore::findsSecretService()
{
    QVERIFY(LibSecretCredentialStore().isAvailable());
}

void TestLibSecretCredentialStore::storesLoadsReplacesAndRemoves()
{
    LibSecretCredentialStore store;
    QVERIFY(!store.load(service, account, kind));

    const QByteArray first = R"({"accessToken":"first"})";
    const QByteArray second = R"({"accessToken":"second"})";
    QVERIFY(store.store(service, account, kind, first));
    QCOMPARE(store.load(service, account, kind), first);
    QVERIFY(store.store(service, account, kind, second));
    QCOMPARE(store.load(service, account, kind), second);
    QCOMPARE(searchItems().count(u"label = "_s), 1);
    // Another kind is another item.
    QVERIFY(store.store(service, account, u"other"_s, "x"));
    QCOMPARE(store.load(service, account, kind), second);

    QVERIFY(store.remove(service, account, kind));
    QVERIFY(!store.load(service, account, kind));
    QVERIFY(!store.remove(service, account, kind));
    QCOMPARE(store.load(service, account, u"other"_s), QByteArray("x"));
    QVERIFY(store.remove(service, account, u"other"_s));
    QVERIFY(!QFile::exists(Platform::CredentialFallbackFile::path()));
}

void TestLibSecretCredentialStore::labelsItemWithSchemaAndAttributes()
{
    QVERIFY(LibSecretCredentialStore().store(service, account, kind, "secret"));

    const QString found = searchItems();
    QVERIFY2(
            found.contains(u"label = Tembrix Clockwarden \u2014 authTokens \u2014 auth_tokens\n"_s),
            qPrintable(found));
    QVERIFY2(found.contains(u"schema = com.tembrix.clockwarden.Schema\n"_s), qPrintable(found));
    QVERIFY(found.contains(u"attribute.service = com.tembrix.clockwarden\n"_s));
    QVERIFY(found.contains(u"attribute.account = auth_tokens\n"_s));
    QVERIFY(found.contains(u"attribute.kind = authTokens\n"_s));
    QVERIFY(found.contains(u"secret = secret\n"_s));
    const QString lookedUp = SecretServiceDaemon::secretTool(
            { u"lookup"_s, u"service"_s, service, u"account"_s, account, u"kind"_s, kind });
    QCOMPARE(lookedUp, u"secret"_s);
}

void TestLibSecretCredentialStore::replacesItemWithoutGapForReaders()
{
    LibSecretCredentialStore store;
    QVERIFY(store.store(service, account, kind, "0"));

    std::atomic_bool done = false;
    std::atomic_int reads = 0;
    std::atomic_int gaps = 0;
    std::unique_ptr<QThread> reader(QThread::create([&] {
        LibSecretCredentialStore readerStore;
        while (!done) {
            if (!readerStore.load(service, account, kind))
                ++gaps;
            ++reads;
        }
    }));
    reader->start();
    for (int i = 1; i <= 40; ++i)
        QVERIFY(store.store(service, account, kind, QByteArray::number(i)));
    QTRY_VERIFY(reads > 0);
    done = true;
    QVERIFY(reader->wait(10000));

    QCOMPARE(gaps.load(), 0);
    QCOMPARE(store.load(service, account, kind), QByteArray("40"));
    QCOMPARE(searchItems().count(u"label = "_s), 1);
}

void TestLibSecretCredentialStore::refusesSecretWithZeroByte()
{
    LibSecretCredentialStore store;
    QVERIFY(store.store(service, account, kind, "held"));

    // libsecret takes the secret as zero-terminated text and would keep only "cut".
    QVERIFY(!store.store(service, account, kind, QByteArray("cut\0off", 7)));

    QCOMPARE(store.load(service, account, kind), QByteArray("held"));
}

void TestLibSecretCredentialStore::keepsFileBackEndChosenBeforeServiceAppeared()
{
    QVERIFY(m_storeFromBefore->store(service, account, kind, "in the file"));

    QVERIFY(QFile::exists(Platform::CredentialFallbackFile::path()));
    QCOMPARE(m_storeFromBefore->load(service, account, kind), QByteArray("in the file"));
    QVERIFY(!LibSecretCredentialStore().load(service, account, kind));
    QVERIFY(m_storeFromBefore->remove(service, account, kind));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestLibSecretCredentialStore)
#include "tst_libsecretcredentialstore.moc"
