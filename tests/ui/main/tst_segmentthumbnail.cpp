#include "FakeHrServer.h"
#include "FakeHrWorkRoutes.h"
#include "TestEnvironment.h"

#include "ui/main/ScreenshotsView.h"
#include "ui/main/SegmentThumbnail.h"
#include "ui/theme/ColorVariables.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;
using UI::SegmentThumbnail;

namespace {

// Three equal stripes, red-green-blue, left to right or top to bottom, as PNG bytes.
QByteArray stripes(QSize size, bool vertical)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const QList<QColor> colours{ Qt::red, Qt::green, Qt::blue };
    for (int i = 0; i < 3; ++i) {
        const QRect part
                = vertical ? QRect(0, i * size.height() / 3, size.width(), size.height() / 3)
                           : QRect(i * size.width() / 3, 0, size.width() / 3, size.height());
        painter.fillRect(part, colours.at(i));
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QColor pixel(QWidget *widget, QPoint at)
{
    return widget->grab().toImage().pixelColor(at * widget->devicePixelRatio());
}

bool near(const QColor &a, const QColor &b, int tolerance = 12)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
           && qAbs(a.blue() - b.blue()) <= tolerance;
}

// Runs answer on the viewer once it is open; open returns when it is closed.
bool answerViewer(const std::function<void()> &open, const std::function<void(QDialog *)> &answer)
{
    bool answered = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll.stop();
        answered = true;
        answer(dialog);
    });
    poll.start();
    open();
    return answered;
}

QLabel *viewerImage(QDialog *dialog)
{
    return dialog->findChild<QLabel *>(u"ScreenshotViewer_Image"_s);
}

QString counter(QDialog *dialog)
{
    return dialog->findChild<QLabel *>(u"ScreenshotViewer_Counter"_s)->text();
}

QPushButton *stepButton(QDialog *dialog, const QString &name)
{
    for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
        if (button->accessibleName() == name)
            return button;
    }
    return nullptr;
}

double opacity(QPushButton *button)
{
    return qobject_cast<QGraphicsOpacityEffect *>(button->graphicsEffect())->opacity();
}

UI::ScreenshotsView::ReportFetch emptyFetch()
{
    return [](const QDateTime &) { return Models::ScreenshotReport(); };
}

} // namespace

class TestSegmentThumbnail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void placeholderWithoutScreenshots();
    void placeholderWithScreenshotsAndHover();
    void imageIsCroppedFromItsCentre_data();
    void imageIsCroppedFromItsCentre();
    void onlyALeftPressClicks();
    void viewerStepsThroughTheImages();
    void viewerWithOneImage();
    void viewerReportsFailures_data();
    void viewerReportsFailures();
    void viewerWithoutImagesOpensNothing();
    void imageRequestsCarryNoApiHeaders();
    void aSlowEarlierImageNeverReplacesTheShownOne();

private:
    // The address under which the stand-in serves these bytes.
    QString served(const QByteArray &bytes);
    QString stripesUrl(QSize size, bool vertical) { return served(stripes(size, vertical)); }

    TestSupport::FakeHrServer m_images;
    QTemporaryDir m_dir;
    int m_served = 0;
};

void TestSegmentThumbnail::initTestCase()
{
    QVERIFY(m_images.start());
    QVERIFY(m_dir.isValid());
}

QString TestSegmentThumbnail::served(const QByteArray &bytes)
{
    const QString name = u"image-%1.png"_s.arg(++m_served);
    m_images.serveFile(name, bytes);
    return m_images.origin().toString() + u"/files/"_s + name;
}

void TestSegmentThumbnail::placeholderWithoutScreenshots()
{
    SegmentThumbnail thumbnail(0, false);
    thumbnail.show();
    QCOMPARE(thumbnail.size(), QSize(100, 56));
    QCOMPARE(thumbnail.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(near(pixel(&thumbnail, { 50, 4 }), QColor("#eeeef1"), 2));
    int clicks = 0;
    thumbnail.onClicked = [&clicks] { ++clicks; };
    QTest::mouseClick(&thumbnail, Qt::LeftButton);
    QCOMPARE(clicks, 0);
    // Some text in the muted colour sits in the middle.
    const QImage image = thumbnail.grab().toImage();
    bool sawText = false;
    for (int x = 0; x < image.width(); ++x)
        sawText = sawText || !near(image.pixelColor(x, image.height() / 2), QColor("#eeeef1"), 8);
    QVERIFY(sawText);
}

void TestSegmentThumbnail::placeholderWithScreenshotsAndHover()
{
    SegmentThumbnail thumbnail(3, true);
    thumbnail.show();
    QCOMPARE(thumbnail.cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(near(pixel(&thumbnail, { 50, 4 }), QColor("#d9d9de"), 2));
    // The badge's dark disc at the bottom right, 4 px inside the edges.
    QVERIFY(pixel(&thumbnail, { 85, 42 }).lightness() < 120);

    QEnterEvent enter(QPointF(50, 28), QPointF(50, 28), QPointF(50, 28));
    QApplication::sendEvent(&thumbnail, &enter);
    QVERIFY(pixel(&thumbnail, { 50, 4 }).lightness() < QColor("#d9d9de").lightness() - 60);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&thumbnail, &leave);
    QVERIFY(near(pixel(&thumbnail, { 50, 4 }), QColor("#d9d9de"), 2));
}

void TestSegmentThumbnail::imageIsCroppedFromItsCentre_data()
{
    QTest::addColumn<QSize>("imageSize");
    QTest::addColumn<bool>("vertical");
    QTest::newRow("wide") << QSize(600, 56) << false;
    QTest::newRow("tall") << QSize(100, 336) << true;
}

void TestSegmentThumbnail::imageIsCroppedFromItsCentre()
{
    QFETCH(QSize, imageSize);
    QFETCH(bool, vertical);
    QNetworkAccessManager manager;
    SegmentThumbnail thumbnail(1, true);
    thumbnail.show();
    thumbnail.loadImage(stripesUrl(imageSize, vertical), &manager);
    // Only the middle stripe shows, from edge to edge away from the rounded corners and badge.
    QTRY_VERIFY(near(pixel(&thumbnail, { 50, 28 }), Qt::green));
    QVERIFY(near(pixel(&thumbnail, { 12, 28 }), Qt::green));
    QVERIFY(near(pixel(&thumbnail, { 50, 6 }), Qt::green));
    QVERIFY(near(pixel(&thumbnail, { 70, 6 }), Qt::green));
}

void TestSegmentThumbnail::onlyALeftPressClicks()
{
    SegmentThumbnail thumbnail(2, true);
    thumbnail.show();
    int clicks = 0;
    thumbnail.onClicked = [&clicks] { ++clicks; };
    QTest::mousePress(&thumbnail, Qt::RightButton);
    QCOMPARE(clicks, 0);
    QTest::mousePress(&thumbnail, Qt::LeftButton);
    QCOMPARE(clicks, 1);
}

void TestSegmentThumbnail::viewerStepsThroughTheImages()
{
    UI::ScreenshotsView view(emptyFetch());
    const QList<QString> urls{ stripesUrl({ 30, 30 }, false), stripesUrl({ 40, 40 }, false),
                               stripesUrl({ 50, 50 }, true) };
    QVERIFY(answerViewer([&] { UI::ScreenshotsView::openViewer(&view, u"09:00 - 09:10"_s, urls); },
                         [](QDialog *dialog) {
                             QCOMPARE(dialog->objectName(), u"ScreenshotViewer_Window"_s);
                             QCOMPARE(dialog->windowTitle(), u"09:00 - 09:10"_s);
                             QPushButton *previous = stepButton(dialog, u"Previous image"_s);
                             QPushButton *next = stepButton(dialog, u"Next image"_s);
                             QCOMPARE(counter(dialog), u"1 / 3"_s);
                             QVERIFY(!previous->isEnabled());
                             QCOMPARE(opacity(previous), 0.3);
                             QTRY_VERIFY(!viewerImage(dialog)->pixmap().isNull());
                             QTest::mouseClick(next, Qt::LeftButton);
                             QTest::mouseClick(next, Qt::LeftButton);
                             QCOMPARE(counter(dialog), u"3 / 3"_s);
                             QVERIFY(!next->isEnabled());
                             QCOMPARE(opacity(next), 0.3);
                             QVERIFY(previous->isEnabled());
                             QCOMPARE(opacity(previous), 1.0);
                             // The last image is the vertical one: it, and no earlier reply, ends
                             // on show.
                             QTRY_VERIFY(!viewerImage(dialog)->pixmap().isNull());
                             const QImage shown = viewerImage(dialog)->pixmap().toImage();
                             QVERIFY(near(shown.pixelColor(shown.width() / 2, 2), Qt::red));
                             dialog->reject();
                         }));
}

void TestSegmentThumbnail::viewerWithOneImage()
{
    UI::ScreenshotsView view(emptyFetch());
    QVERIFY(answerViewer(
            [&] {
                UI::ScreenshotsView::openViewer(&view, u"t"_s, { stripesUrl({ 20, 20 }, false) });
            },
            [](QDialog *dialog) {
                QCOMPARE(counter(dialog), u"1 screenshot"_s);
                QVERIFY(!stepButton(dialog, u"Previous image"_s)->isEnabled());
                QVERIFY(!stepButton(dialog, u"Next image"_s)->isEnabled());
                QCOMPARE(opacity(stepButton(dialog, u"Next image"_s)), 0.3);
                dialog->reject();
            }));
}

void TestSegmentThumbnail::viewerReportsFailures_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("unreachable") << u"http://127.0.0.1:1/shot.jpg"_s << u"Failed to load image ("_s;
    QTest::newRow("not an image") << served("hello") << u"Could not decode image."_s;
    // A real picture, which the viewer must not read: the address is not a web address.
    const QString local = m_dir.filePath(u"local.png"_s);
    QFile file(local);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(stripes({ 20, 20 }, false)) > 0);
    file.close();
    QTest::newRow("a local file") << QUrl::fromLocalFile(local).toString()
                                  << u"Failed to load image (not a web address)."_s;
}

void TestSegmentThumbnail::viewerReportsFailures()
{
    QFETCH(QString, url);
    QFETCH(QString, prefix);
    UI::ScreenshotsView view(emptyFetch());
    QVERIFY(answerViewer(
            [&] {
                UI::ScreenshotsView::openViewer(&view, u"t"_s, { url, url });
            },
            [&](QDialog *dialog) {
                QTRY_VERIFY2(viewerImage(dialog)->text().startsWith(prefix),
                             qPrintable(viewerImage(dialog)->text()));
                // The buttons keep working.
                QTest::mouseClick(stepButton(dialog, u"Next image"_s), Qt::LeftButton);
                QCOMPARE(counter(dialog), u"2 / 2"_s);
                dialog->reject();
            }));
}

void TestSegmentThumbnail::viewerWithoutImagesOpensNothing()
{
    UI::ScreenshotsView view(emptyFetch());
    QVERIFY(!answerViewer([&] { UI::ScreenshotsView::openViewer(&view, u"t"_s, {}); },
                          [](QDialog *dialog) { dialog->reject(); }));
}

void TestSegmentThumbnail::imageRequestsCarryNoApiHeaders()
{
    TestSupport::FakeHrServer server;
    QVERIFY(server.start());
    const QString url = server.origin().toString() + u"/files/"_s
                        + TestSupport::FakeHrWorkRoutes::sampleFileName();
    QNetworkAccessManager manager;
    SegmentThumbnail thumbnail(1, true);
    thumbnail.show();
    thumbnail.loadImage(url, &manager);
    QVERIFY(server.waitForRequests(1, TestSupport::FakeHrRoute::ScreenshotFile));
    // The sample is a real picture: the placeholder goes.
    QTRY_VERIFY(!near(pixel(&thumbnail, { 50, 4 }), QColor("#d9d9de"), 2));

    UI::ScreenshotsView view(emptyFetch());
    QVERIFY(answerViewer([&] { UI::ScreenshotsView::openViewer(&view, u"t"_s, { url }); },
                         [](QDialog *dialog) {
                             QTRY_VERIFY(!viewerImage(dialog)->pixmap().isNull());
                             dialog->reject();
                         }));
    const QList<TestSupport::RecordedRequest> requests
            = server.requests(TestSupport::FakeHrRoute::ScreenshotFile);
    QCOMPARE(requests.size(), 2);
    for (const TestSupport::RecordedRequest &request : requests) {
        QCOMPARE(request.method, QByteArray("GET"));
        QVERIFY(request.body.isEmpty());
        for (const QByteArray name : { "authorization", "app-client", "x-app", "accept" })
            QVERIFY2(!request.hasHeader(name), name.constData());
    }
}

void TestSegmentThumbnail::aSlowEarlierImageNeverReplacesTheShownOne()
{
    TestSupport::FakeHrServer server;
    QVERIFY(server.start());
    // The first image answers late, and with a failure that would show as text.
    server.addFault(TestSupport::FakeHrRoute::ScreenshotFile, TestSupport::FakeHrFault::delay(400));
    const QString files = server.origin().toString() + u"/files/"_s;
    const QList<QString> urls{ files + u"missing.jpg"_s,
                               files + TestSupport::FakeHrWorkRoutes::sampleFileName() };
    UI::ScreenshotsView view(emptyFetch());
    QVERIFY(answerViewer([&] { UI::ScreenshotsView::openViewer(&view, u"t"_s, urls); },
                         [&](QDialog *dialog) {
                             QTest::mouseClick(stepButton(dialog, u"Next image"_s), Qt::LeftButton);
                             QTRY_VERIFY(!viewerImage(dialog)->pixmap().isNull());
                             QTest::qWait(700);
                             QCOMPARE(counter(dialog), u"2 / 2"_s);
                             QVERIFY(!viewerImage(dialog)->pixmap().isNull());
                             QVERIFY(viewerImage(dialog)->text().isEmpty());
                             dialog->reject();
                         }));
}

CLOCKWARDEN_TEST_MAIN(TestSegmentThumbnail)
#include "tst_segmentthumbnail.moc"
