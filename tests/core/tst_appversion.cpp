#include "TestEnvironment.h"

#include "core/AppVersion.h"

#include <QCoreApplication>
#include <QTest>

class TestAppVersion : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void runningVersionAndBuild();
    void parsesLeadingDigitsOfEachPart_data();
    void parsesLeadingDigitsOfEachPart();
    void comparesPartByPart_data();
    void comparesPartByPart();
};

void TestAppVersion::runningVersionAndBuild()
{
    QCOMPARE(Core::appVersion(), QStringLiteral("1.4.3"));
    QCOMPARE(Core::appBuildNumber(), QStringLiteral("11"));
}

void TestAppVersion::parsesLeadingDigitsOfEachPart_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("parts");
    QTest::newRow("plain") << "1.4.3" << QList<int>{ 1, 4, 3 };
    QTest::newRow("empty middle part") << "1..2" << QList<int>{ 1, 0, 2 };
    QTest::newRow("empty text") << "" << QList<int>{ 0 };
    QTest::newRow("suffix after digits") << "1.5-rc1" << QList<int>{ 1, 5 };
    QTest::newRow("letters first") << "beta.2" << QList<int>{ 0, 2 };
    QTest::newRow("beyond int") << "99999999999" << QList<int>{ 0 };
    QTest::newRow("largest int") << "2147483647" << QList<int>{ 2147483647 };
    // Arabic-Indic digits are decimal digits but do not convert, so the part reads as 0.
    QTest::newRow("non-ASCII digits") << QStringLiteral("\u0661.2") << QList<int>{ 0, 2 };
}

void TestAppVersion::parsesLeadingDigitsOfEachPart()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, parts);
    QCOMPARE(Core::parseVersion(text), parts);
}

void TestAppVersion::comparesPartByPart_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<bool>("lower");
    QTest::newRow("equal with extra zero part") << "1.4.3"
                                                << "1.4.3.0" << false;
    QTest::newRow("extra zero part, reversed") << "1.4.3.0"
                                               << "1.4.3" << false;
    QTest::newRow("numeric, not textual") << "1.4.3"
                                          << "1.4.10" << true;
    QTest::newRow("shorter newer-looking") << "1.4.3"
                                           << "1.4" << false;
    QTest::newRow("major") << "1.4.3"
                           << "2" << true;
    QTest::newRow("letters read as 0") << "1.4.3"
                                       << "beta.2" << false;
    QTest::newRow("pre-release suffix") << "1.4.3"
                                        << "1.5-rc1" << true;
    QTest::newRow("empty part") << "1.4.3"
                                << "1..2" << false;
    QTest::newRow("empty text") << "1.4.3"
                                << "" << false;
    QTest::newRow("empty against version") << ""
                                           << "1.4.3" << true;
    QTest::newRow("overflow reads as 0") << "1.4.3"
                                         << "99999999999" << false;
    QTest::newRow("identical") << "1.4.3"
                               << "1.4.3" << false;
}

void TestAppVersion::comparesPartByPart()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(bool, lower);
    QCOMPARE(Core::isVersionLower(a, b), lower);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAppVersion)

#include "tst_appversion.moc"
