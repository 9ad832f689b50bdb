#include "FileFixtures.h"
#include "TestEnvironment.h"

#include "FreshXdgRoot.h"
#include "storage/LastLoginStore.h"
#include "storage/StoreTestHooks.h"

#include <QFileInfo>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using Storage::LastLoginStore;

using TestSupport::readFile;
using TestSupport::writeFile;

class TestLastLoginStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void savesTrimmedEmailAsCompactObject();
    void blankSaveChangesNothing_data();
    void blankSaveChangesNothing();
    void loadsFileAfterRestart_data();
    void loadsFileAfterRestart();
    void answersFromCacheAfterFirstLoad();
    void keepsSavedEmailWhenFileCannotBeWritten();
    void clearForgetsAndRemovesFile();

private:
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestLastLoginStore::init()
{
    m_root = std::make_unique<FreshXdgRoot>();
    Storage::LastLoginStoreTestHooks::reset();
}

void TestLastLoginStore::cleanup()
{
    Storage::LastLoginStoreTestHooks::reset();
    m_root.reset();
}

void TestLastLoginStore::savesTrimmedEmailAsCompactObject()
{
    LastLoginStore::save(u"  ada@acme.example \n"_s);

    QCOMPARE(LastLoginStore::path(), m_root->dataDir() + "/last_login.json"_L1);
    QCOMPARE(readFile(LastLoginStore::path()), R"({"email":"ada@acme.example"})");
    QCOMPARE(LastLoginStore::load(), u"ada@acme.example"_s);
}

void TestLastLoginStore::blankSaveChangesNothing_data()
{
    QTest::addColumn<QString>("blank");

    QTest::newRow("empty text") << QString();
    QTest::newRow("only white space") << u" \t\n"_s;
}

void TestLastLoginStore::blankSaveChangesNothing()
{
    QFETCH(QString, blank);
    LastLoginStore::save(u"ada@acme.example"_s);

    LastLoginStore::save(blank);

    QCOMPARE(LastLoginStore::load(), u"ada@acme.example"_s);
    QCOMPARE(readFile(LastLoginStore::path()), R"({"email":"ada@acme.example"})");
}

void TestLastLoginStore::loadsFileAfterRestart_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<std::optional<QString>>("expected");

    QTest::newRow("saved e-mail") << R"({"email":"ada@acme.example"})"_ba
                                  << std::optional(u"ada@acme.example"_s);
    QTest::newRow("text from the file is not trimmed")
            << R"({"email": " ada@acme.example "})"_ba << std::optional(u" ada@acme.example "_s);
    QTest::newRow("json array") << R"(["ada@acme.example"])"_ba << std::optional<QString>();
    QTest::newRow("invalid json") << R"({"email":"ada@)"_ba << std::optional<QString>();
    QTest::newRow("empty e-mail") << R"({"email":""})"_ba << std::optional<QString>();
    QTest::newRow("e-mail not a string") << R"({"email":42})"_ba << std::optional<QString>();
    QTest::newRow("no file") << QByteArray() << std::optional<QString>();
}

void TestLastLoginStore::loadsFileAfterRestart()
{
    QFETCH(QByteArray, content);
    QFETCH(std::optional<QString>, expected);
    if (!content.isEmpty())
        writeFile(m_root->dataDir() + "/last_login.json"_L1, content);

    QCOMPARE(LastLoginStore::load(), expected);
}

void TestLastLoginStore::answersFromCacheAfterFirstLoad()
{
    QCOMPARE(LastLoginStore::load(), std::nullopt);
    writeFile(LastLoginStore::path(), R"({"email":"other@acme.example"})");
    QCOMPARE(LastLoginStore::load(), std::nullopt); // another process's change is not seen

    LastLoginStore::save(u"ada@acme.example"_s);
    QVERIFY(QFile::remove(LastLoginStore::path()));

    QCOMPARE(LastLoginStore::load(), u"ada@acme.example"_s);
}

void TestLastLoginStore::keepsSavedEmailWhenFileCannotBeWritten()
{
    // A directory in the file's place: permission bits would not stop root.
    QVERIFY(QDir().mkpath(LastLoginStore::path()));

    LastLoginStore::save(u"ada@acme.example"_s);

    QCOMPARE(LastLoginStore::load(), u"ada@acme.example"_s);
    QVERIFY(QFileInfo(LastLoginStore::path()).isDir());
}

void TestLastLoginStore::clearForgetsAndRemovesFile()
{
    LastLoginStore::save(u"ada@acme.example"_s);

    LastLoginStore::clear();

    QCOMPARE(LastLoginStore::load(), std::nullopt);
    QVERIFY(!QFileInfo::exists(LastLoginStore::path()));
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestLastLoginStore)
#include "tst_lastloginstore.moc"
