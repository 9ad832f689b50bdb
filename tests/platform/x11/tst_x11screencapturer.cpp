#include "SelfProcess.h"
#include "TestEnvironment.h"
#include "XTools.h"
#include "platform/x11/X11ScreenCapturer.h"

#include <QColor>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;
using Platform::X11::X11ScreenCapturer;

namespace {

const auto leftColour = u"#2080e0"_s;
const auto rightColour = u"#e06010"_s;

// Child role: paint the screen (unless the width is 0), capture, and print "<count> <w>x<h> <left>
// <right>" with the colours at the centres of the two halves of the first image.
int printCapture(int screenWidth)
{
    if (screenWidth > 0 && !TestSupport::paintRootHalves(screenWidth, leftColour, rightColour))
        return 2;
    X11ScreenCapturer capturer;
    const QList<QImage> images = capturer.captureScreens();
    QByteArray line = QByteArray::number(images.size());
    if (!images.isEmpty()) {
        const QImage &image = images.constFirst();
        line += ' ' + QByteArray::number(image.width()) + 'x' + QByteArray::number(image.height());
        line += ' ' + QColor(image.pixel(image.width() / 4, image.height() / 2)).name().toLatin1();
        line += ' '
                + QColor(image.pixel(image.width() * 3 / 4, image.height() / 2)).name().toLatin1();
    }
    std::puts(line.constData());
    return 0;
}

int channelDistance(const QColor &a, const QColor &b)
{
    return qMax(qAbs(a.red() - b.red()),
                qMax(qAbs(a.green() - b.green()), qAbs(a.blue() - b.blue())));
}

} // namespace

class TestX11ScreenCapturer : public QObject
{
    Q_OBJECT

private slots:
    void capturesWholeScreenOfSplitMonitorsOnce();
    void needsNoGrant();
    void answersEmptyWithoutRandrOrServer_data();
    void answersEmptyWithoutRandrOrServer();
    void convertsDepth16WithoutOverRead();
};

void TestX11ScreenCapturer::capturesWholeScreenOfSplitMonitorsOnce()
{
    // This display is 2560x800, split into two RandR monitors; RandR still has one output.
    QVERIFY(TestSupport::paintRootHalves(2560, leftColour, rightColour));
    X11ScreenCapturer capturer;

    const QList<QImage> images = capturer.captureScreens();

    QCOMPARE(images.size(), 1);
    const QImage &image = images.constFirst();
    QCOMPARE(image.size(), QSize(2560, 800));
    QCOMPARE(image.format(), QImage::Format_RGB32);
    // A swapped red and blue would show here.
    QCOMPARE(QColor(image.pixel(640, 400)).name(), leftColour);
    QCOMPARE(QColor(image.pixel(1920, 400)).name(), rightColour);
    QCOMPARE(QColor(image.pixel(0, 0)).name(), leftColour);
    QCOMPARE(QColor(image.pixel(2559, 799)).name(), rightColour);
}

void TestX11ScreenCapturer::needsNoGrant()
{
    X11ScreenCapturer capturer;
    QSignalSpy changes(&capturer, &X11ScreenCapturer::availabilityChanged);
    capturer.requestAccess();
    capturer.onSystemResumed();
    capturer.onPermissionRevoked();

    QVERIFY(capturer.isAvailable());
    QCOMPARE(changes.size(), 0);
}

void TestX11ScreenCapturer::answersEmptyWithoutRandrOrServer_data()
{
    QTest::addColumn<QStringList>("xvfbOptions");

    QTest::newRow("no RANDR") << QStringList{ u"--no-randr"_s };
    QTest::newRow("no server") << QStringList{ u"--dead-display"_s };
}

void TestX11ScreenCapturer::answersEmptyWithoutRandrOrServer()
{
    QFETCH(QStringList, xvfbOptions);

    const auto child = TestSupport::runSelfOnXvfb(xvfbOptions, { u"--child-capture"_s, u"0"_s });

    QVERIFY(child.finished);
    QCOMPARE(child.exitCode, 0);
    QCOMPARE(child.standardOutput.trimmed(), "0"_ba);
}

void TestX11ScreenCapturer::convertsDepth16WithoutOverRead()
{
    // A depth-16 root has two bytes a pixel: read as four, the grab would run past the reply.
    const auto child
            = TestSupport::runSelfOnXvfb({ u"--depth"_s, u"16"_s, u"--geometry"_s, u"1280x720"_s },
                                         { u"--child-capture"_s, u"1280"_s });

    QVERIFY(child.finished);
    QCOMPARE(child.exitCode, 0);
    const QList<QByteArray> fields = child.standardOutput.trimmed().split(' ');
    QCOMPARE(fields.size(), 4);
    QCOMPARE(fields.at(0), "1"_ba);
    QCOMPARE(fields.at(1), "1280x720"_ba);
    // 5-6-5 keeps the colours to within a step of 8.
    QVERIFY2(channelDistance(QColor(QString::fromLatin1(fields.at(2))), QColor(leftColour)) <= 8,
             fields.at(2).constData());
    QVERIFY2(channelDistance(QColor(QString::fromLatin1(fields.at(3))), QColor(rightColour)) <= 8,
             fields.at(3).constData());
}

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--child-capture") == 0) {
        QCoreApplication app(argc, argv);
        return printCapture(std::atoi(argv[2]));
    }
    return TestSupport::runTest<QCoreApplication, TestX11ScreenCapturer>(argc, argv);
}

#include "tst_x11screencapturer.moc"
