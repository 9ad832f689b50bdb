#include "FileFixtures.h"
#include "TestEnvironment.h"

#include "FileSizeLimit.h"
#include "FreshXdgRoot.h"
#include "TokenCredentialKey.h"
#include "storage/CredentialFallbackFile.h"
#include "storage/LibSecretCredentialStore.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace TestSupport::TokenCredentialKey;
using Platform::CredentialFallbackFile;
using Platform::LibSecretCredentialStore;

using TestSupport::readFile;

namespace {

const QString tokenKey = u"com.tembrix.clockwarden|auth_tokens|authTokens"_s;

void writeFile(const QString &path, const QByteArray &content, mode_t mode = 0600)
{
    TestSupport::writeFile(path, content);
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

QJsonObject fileObject()
{
    return QJsonDocument::fromJson(readFile(CredentialFallbackFile::path())).object();
}

mode_t fileMode(const QString &path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

// Everything in the data directory but the fallback file itself: a failed write leaves nothing.
QStringList strayFiles()
{
    const QDir dir(QFileInfo(CredentialFallbackFile::path()).absolutePath());
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(u"credentials.fallback.json"_s);
    return names;
}

enum class Operation { Store, Remove };
enum class Fault { FileSizeLimit, FolderInPlace };

} // namespace

// The file back end, with no secret service on the test's own bus.
class TestCredentialFallbackFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void writesBase64EntryUnderJoinedKey();
    void tightensModeOfExistingFile();
    void keepsOtherEntriesThroughStoreAndRemove();
    void treatsUnreadableContentAsEmpty_data();
    void treatsUnreadableContentAsEmpty();
    void removeOfMissingEntryWritesNothing();
    void reportsFailedWrite_data();
    void reportsFailedWrite();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestCredentialFallbackFile::initTestCase()
{
    QVERIFY(!LibSecretCredentialStore().isAvailable());
}

void TestCredentialFallbackFile::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
}

void TestCredentialFallbackFile::cleanup()
{
    m_root.reset();
}

void TestCredentialFallbackFile::writesBase64EntryUnderJoinedKey()
{
    const QByteArray secret = R"({"accessToken":"a\u00e9"})"
                              "\x01\xff";
    LibSecretCredentialStore store;
    QVERIFY(store.store(service, account, kind, secret));

    const QString path = m_root->dataDir() + u"/credentials.fallback.json"_s;
    QCOMPARE(CredentialFallbackFile::path(), path);
    const QByteArray expected = QByteArray(R"({"com.tembrix.clockwarden|auth_tokens|authTokens":")")
                                + secret.toBase64() + QByteArray(R"("})");
    QCOMPARE(readFile(path), expected);
    QCOMPARE(fileMode(path), mode_t(0600));
    QCOMPARE(store.load(service, account, kind), secret);
    QVERIFY(!store.load(service, account, u"other"_s));
    QCOMPARE(strayFiles(), QStringList());
}

void TestCredentialFallbackFile::tightensModeOfExistingFile()
{
    writeFile(CredentialFallbackFile::path(), "{}", 0644);

    QVERIFY(LibSecretCredentialStore().store(service, account, kind, "s"));

    QCOMPARE(fileMode(CredentialFallbackFile::path()), mode_t(0600));
}

void TestCredentialFallbackFile::keepsOtherEntriesThroughStoreAndRemove()
{
    const QByteArray others = R"({"a|b|c":"b3RoZXI=","x|y|z":7})";
    writeFile(CredentialFallbackFile::path(), others);
    LibSecretCredentialStore store;

    QVERIFY(store.store(service, account, kind, "first"));
    QVERIFY(store.store(service, account, kind, "second"));
    QCOMPARE(fileObject().keys(), QStringList({ u"a|b|c"_s, tokenKey, u"x|y|z"_s }));
    QCOMPARE(store.load(service, account, kind), QByteArray("second"));
    QVERIFY(store.remove(service, account, kind));

    QCOMPARE(readFile(CredentialFallbackFile::path()), others);
    QCOMPARE(store.load(u"a"_s, u"b"_s, u"c"_s), QByteArray("other"));
    QCOMPARE(fileMode(CredentialFallbackFile::path()), mode_t(0600));
}

void TestCredentialFallbackFile::treatsUnreadableContentAsEmpty_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("text that is not JSON") << QByteArray("not json {");
    QTest::newRow("a JSON array") << QByteArray(R"(["a|b|c"])");
    QTest::newRow("an empty file") << QByteArray();
}

void TestCredentialFallbackFile::treatsUnreadableContentAsEmpty()
{
    QFETCH(QByteArray, content);
    writeFile(CredentialFallbackFile::path(), content);
    LibSecretCredentialStore store;
    QVERIFY(!store.load(service, account, kind));

    QVERIFY(store.store(service, account, kind, "s"));

    QCOMPARE(fileObject().keys(), QStringList{ tokenKey });
}

void TestCredentialFallbackFile::removeOfMissingEntryWritesNothing()
{
    LibSecretCredentialStore store;
    QVERIFY(!store.remove(service, account, kind));
    QVERIFY(!QFile::exists(CredentialFallbackFile::path()));

    const QByteArray other = R"({ "a|b|c" : "" })";
    writeFile(CredentialFallbackFile::path(), other, 0644);
    QVERIFY(!store.remove(service, account, kind));
    QCOMPARE(readFile(CredentialFallbackFile::path()), other);
    QCOMPARE(fileMode(CredentialFallbackFile::path()), mode_t(0644));
}

void TestCredentialFallbackFile::reportsFailedWrite_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<Fault>("fault");

    QTest::newRow("store on a full disk") << Operation::Store << Fault::FileSizeLimit;
    QTest::newRow("remove on a full disk") << Operation::Remove << Fault::FileSizeLimit;
    QTest::newRow("store over a folder") << Operation::Store << Fault::FolderInPlace;
}

void TestCredentialFallbackFile::reportsFailedWrite()
{
    QFETCH(Operation, operation);
    QFETCH(Fault, fault);
    const QString path = CredentialFallbackFile::path();
    const QByteArray before
            = R"({"a|b|c":"b3RoZXI=","com.tembrix.clockwarden|auth_tokens|authTokens":"b2xk"})";
    if (fault == Fault::FolderInPlace)
        QVERIFY(QDir().mkpath(path + u"/inside"_s));
    else
        writeFile(path, before);
    LibSecretCredentialStore store;

    bool result = true;
    {
        const TestSupport::FileSizeLimit limit(fault == Fault::FileSizeLimit ? 8 : RLIM_INFINITY);
        QVERIFY(limit.isActive());
        result = operation == Operation::Store
                         ? store.store(service, account, kind, "a new secret that does not fit")
                         : store.remove(service, account, kind);
    }

    QVERIFY(!result);
    QCOMPARE(strayFiles(), QStringList());
    if (fault == Fault::FileSizeLimit) {
        QCOMPARE(readFile(path), before);
        QCOMPARE(store.load(service, account, kind), QByteArray("old"));
    }
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestCredentialFallbackFile)
#include "tst_credentialfallbackfile.moc"
