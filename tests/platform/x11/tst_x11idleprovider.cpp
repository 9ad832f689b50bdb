#include "SelfProcess.h"
#include "TestEnvironment.h"
#include "XTools.h"
#include "platform/x11/X11IdleProvider.h"

#include <QTest>
#include <QThread>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;
using Platform::X11::X11IdleProvider;

namespace {

// Child role: five idle queries, the first after a second and a half without input, so that a
// working provider could not answer 0 to all of them.
int printIdleAnswers()
{
    X11IdleProvider provider;
    QThread::msleep(1500);
    QByteArray line = provider.isAvailable() ? "available" : "unavailable";
    for (int i = 0; i < 5; ++i)
        line += ' ' + QByteArray::number(provider.idleSeconds());
    std::puts(line.constData());
    return 0;
}

} // namespace

class TestX11IdleProvider : public QObject
{
    Q_OBJECT

private slots:
    void cutsMillisecondsToWholeSeconds_data();
    void cutsMillisecondsToWholeSeconds();
    void followsInputAndTime();
    void answersZeroWithoutServerOrExtension_data();
    void answersZeroWithoutServerOrExtension();
};

void TestX11IdleProvider::cutsMillisecondsToWholeSeconds_data()
{
    QTest::addColumn<quint32>("milliseconds");
    QTest::addColumn<qint64>("seconds");

    QTest::newRow("0") << 0u << qint64(0);
    QTest::newRow("999") << 999u << qint64(0);
    QTest::newRow("1000") << 1000u << qint64(1);
    QTest::newRow("1999") << 1999u << qint64(1);
    QTest::newRow("largest count") << 0xffffffffu << qint64(4294967);
}

void TestX11IdleProvider::cutsMillisecondsToWholeSeconds()
{
    QFETCH(quint32, milliseconds);
    QFETCH(qint64, seconds);

    QCOMPARE(X11IdleProvider::secondsFromMilliseconds(milliseconds), seconds);
}

void TestX11IdleProvider::followsInputAndTime()
{
    X11IdleProvider provider;
    QVERIFY(TestSupport::runTool(u"xdotool"_s, { u"mousemove_relative"_s, u"1"_s, u"1"_s }));

    QCOMPARE(provider.idleSeconds(), qint64(0));
    // No caching: each call asks the server again.
    QTRY_VERIFY_WITH_TIMEOUT(provider.idleSeconds() >= 2, 5000);
    QVERIFY(provider.isAvailable());
}

void TestX11IdleProvider::answersZeroWithoutServerOrExtension_data()
{
    QTest::addColumn<QStringList>("xvfbOptions");

    QTest::newRow("no MIT-SCREEN-SAVER") << QStringList{ u"--no-screensaver"_s };
    QTest::newRow("no server") << QStringList{ u"--dead-display"_s };
}

void TestX11IdleProvider::answersZeroWithoutServerOrExtension()
{
    QFETCH(QStringList, xvfbOptions);

    const auto child = TestSupport::runSelfOnXvfb(xvfbOptions, { u"--child-idle"_s });

    QVERIFY(child.finished);
    QCOMPARE(child.exitCode, 0);
    QCOMPARE(child.standardOutput.trimmed(), "available 0 0 0 0 0"_ba);
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--child-idle") == 0) {
        QCoreApplication app(argc, argv);
        return printIdleAnswers();
    }
    return TestSupport::runTest<QCoreApplication, TestX11IdleProvider>(argc, argv);
}

#include "tst_x11idleprovider.moc"
