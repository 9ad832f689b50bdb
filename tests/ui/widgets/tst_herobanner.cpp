#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include "storage/StoreTestHooks.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/HeroBanner.h"

#include <QApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using UI::HeroBanner;

namespace {

const QColor red(255, 0, 0);
const QColor blue(0, 0, 255);
const QColor green(0, 160, 0);

// QObject::receivers is protected; naming it through a subclass lets a test count connections.
struct ReceiverCount : QObject
{
    static int of(const QObject *sender, const char *signal)
    {
        return (sender->*(&ReceiverCount::receivers))(signal);
    }
};

bool near(const QColor &a, const QColor &b, int tolerance = 8)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
           && qAbs(a.blue() - b.blue()) <= tolerance;
}

} // namespace

class TestHeroBanner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fitsHeight_data();
    void fitsHeight();
    void zoomsOntoFocusCovering_data();
    void zoomsOntoFocusCovering();
    void nonPositiveFractionFallsBackToFit_data();
    void nonPositiveFractionFallsBackToFit();
    void roundsCornersInTheColourBehind();
    void fadesTheImageInFromTheMiddle();
    void gradientIsDarkenedUnderWhiteText();
    void zeroSizedBannerPaintsNothing();
    void followsPaletteChangesOnce();
    void drawsThePictureAgainAfterLeavingTheScreen_data();
    void drawsThePictureAgainAfterLeavingTheScreen();

private:
    // A picture whose left half is red and right half blue.
    QString halves(int width, int height);
    // A banner in a shown window, with the background colour green and square corners.
    std::unique_ptr<QWidget> showBanner(HeroBanner *&banner, QSize size);
    QImage shot(HeroBanner *banner);

    QTemporaryDir m_dir;
    std::unique_ptr<FreshXdgRoot> m_root;
};

void TestHeroBanner::initTestCase()
{
    m_root = std::make_unique<FreshXdgRoot>();
    Storage::PreferencesTestHooks::reopen();
    UI::Theme::apply(*qApp);
}

QString TestHeroBanner::halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, red);
    painter.fillRect(width / 2, 0, width - width / 2, height, blue);
    painter.end();
    const QString path = m_dir.filePath(u"halves-%1x%2.png"_s.arg(width).arg(height));
    if (!QFile::exists(path))
        image.save(path);
    return path;
}

std::unique_ptr<QWidget> TestHeroBanner::showBanner(HeroBanner *&banner, QSize size)
{
    auto window = std::make_unique<QWidget>();
    window->resize(size + QSize(40, 40));
    banner = new HeroBanner(window.get());
    banner->setGeometry(QRect(QPoint(20, 20), size));
    banner->setBackgroundColor(green);
    banner->setCornerRadius(0);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    return window;
}

QImage TestHeroBanner::shot(HeroBanner *banner)
{
    return banner->grab().toImage();
}

void TestHeroBanner::fitsHeight_data()
{
    QTest::addColumn<QSize>("image");
    QTest::addColumn<QList<int>>("redXs");
    QTest::addColumn<QList<int>>("blueXs");
    QTest::addColumn<QList<int>>("backgroundXs");
    // 400 x 100 banner. Narrower: 200 wide at its height, so it grows to 400 x 200 to cover.
    QTest::newRow("narrower grows to cover")
            << QSize(100, 50) << QList<int>{ 5, 195 } << QList<int>{ 205, 395 } << QList<int>{};
    // Wider: drawn 600 wide at x -200, so its right edge meets the banner's.
    QTest::newRow("wider keeps its right edge")
            << QSize(600, 100) << QList<int>{ 5, 95 } << QList<int>{ 105, 399 } << QList<int>{};
}

void TestHeroBanner::fitsHeight()
{
    QFETCH(QSize, image);
    QFETCH(QList<int>, redXs);
    QFETCH(QList<int>, blueXs);
    QFETCH(QList<int>, backgroundXs);
    HeroBanner *banner = nullptr;
    const auto window = showBanner(banner, QSize(400, 100));
    QVERIFY(window);
    banner->setImagePath(halves(image.width(), image.height()));
    const QImage pixels = shot(banner);
    for (int x : redXs)
        QVERIFY2(near(pixels.pixelColor(x, 50), red), qPrintable(u"x %1"_s.arg(x)));
    for (int x : blueXs)
        QVERIFY2(near(pixels.pixelColor(x, 50), blue), qPrintable(u"x %1"_s.arg(x)));
    for (int x : backgroundXs)
        QCOMPARE(pixels.pixelColor(x, 50), green);
}

void TestHeroBanner::zoomsOntoFocusCovering_data()
{
    QTest::addColumn<QSize>("bannerSize");
    QTest::addColumn<QSize>("image");
    QTest::addColumn<double>("fraction");
    QTest::addColumn<double>("focusX");
    QTest::addColumn<QList<int>>("redXs");
    QTest::addColumn<QList<int>>("blueXs");
    // Drawn exactly 400 wide; centring 0.4 would shift it right by 40 and bare a strip, so it
    // stays at the left edge.
    QTest::newRow("shift that would bare the left edge")
            << QSize(400, 100) << QSize(400, 100) << 1.0 << 0.4 << QList<int>{ 2, 197 }
            << QList<int>{ 203, 398 };
    // Drawn 400 x 100 in a banner 200 high: it grows to 800 x 200, 0.25 at the centre.
    QTest::newRow("taller banner") << QSize(400, 200) << QSize(400, 100) << 1.0 << 0.25
                                   << QList<int>{ 2, 398 } << QList<int>{};
    // Drawn 690 wide, centring 0.72 would end it at x 393: it moves right to end at 400, the
    // halves meeting at x 55.
    QTest::newRow("zoom that would bare the right edge")
            << QSize(400, 100) << QSize(400, 100) << 0.58 << 0.72 << QList<int>{ 2, 52 }
            << QList<int>{ 58, 398 };
}

void TestHeroBanner::zoomsOntoFocusCovering()
{
    QFETCH(QSize, bannerSize);
    QFETCH(QSize, image);
    QFETCH(double, fraction);
    QFETCH(double, focusX);
    QFETCH(QList<int>, redXs);
    QFETCH(QList<int>, blueXs);
    HeroBanner *banner = nullptr;
    const auto window = showBanner(banner, bannerSize);
    QVERIFY(window);
    banner->setImagePath(halves(image.width(), image.height()));
    banner->setScaleMode(1);
    banner->setVisibleFraction(fraction);
    banner->setFocusX(focusX);
    banner->setFocusY(0.5);
    const QImage pixels = shot(banner);
    const int middle = bannerSize.height() / 2;
    for (int x : redXs)
        QVERIFY2(near(pixels.pixelColor(x, middle), red), qPrintable(u"x %1"_s.arg(x)));
    for (int x : blueXs)
        QVERIFY2(near(pixels.pixelColor(x, middle), blue), qPrintable(u"x %1"_s.arg(x)));
    // No edge of the picture shows: the background colour appears nowhere.
    for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x) {
            if (near(pixels.pixelColor(x, y), green, 60))
                QFAIL(qPrintable(u"background at %1, %2"_s.arg(x).arg(y)));
        }
    }
}

void TestHeroBanner::nonPositiveFractionFallsBackToFit_data()
{
    QTest::addColumn<double>("fraction");
    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -1.0;
}

void TestHeroBanner::nonPositiveFractionFallsBackToFit()
{
    QFETCH(double, fraction);
    HeroBanner *banner = nullptr;
    const auto window = showBanner(banner, QSize(400, 100));
    QVERIFY(window);
    banner->setImagePath(halves(100, 50));
    banner->setScaleMode(1);
    banner->setVisibleFraction(fraction);
    // Fitted to the height (200 wide), then grown to cover: 400 x 200 from the top left.
    const QImage pixels = shot(banner);
    QVERIFY(near(pixels.pixelColor(150, 50), red));
    QVERIFY(near(pixels.pixelColor(250, 50), blue));
    QVERIFY(near(pixels.pixelColor(395, 95), blue));
}

void TestHeroBanner::roundsCornersInTheColourBehind()
{
    HeroBanner *banner = nullptr;
    const auto window = showBanner(banner, QSize(400, 100));
    QVERIFY(window);
    banner->setImagePath(halves(400, 100));
    QVERIFY(near(shot(banner).pixelColor(0, 0), red));

    banner->setCornerRadius(18);
    const QColor behind = banner->palette().color(QPalette::Window);
    QCOMPARE(behind, QColor::fromString(UI::Theme::currentPalette().background));
    QImage pixels = shot(banner);
    QCOMPARE(pixels.pixelColor(0, 0), behind);
    QCOMPARE(pixels.pixelColor(399, 99), behind);
    QVERIFY(near(pixels.pixelColor(18, 18), red));

    // Without a parent the current palette's background stands in.
    HeroBanner loose;
    loose.resize(200, 100);
    loose.setImagePath(halves(400, 100));
    loose.setCornerRadius(18);
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::black);
    loose.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    QCOMPARE(image.pixelColor(0, 0), QColor::fromString(UI::Theme::currentPalette().background));
}

void TestHeroBanner::fadesTheImageInFromTheMiddle()
{
    HeroBanner *banner = nullptr;
    const auto window = showBanner(banner, QSize(400, 100));
    QVERIFY(window);
    banner->setScaleMode(1);
    banner->setVisibleFraction(1.0);
    banner->setFocusX(0.5);
    banner->setGradientBackground(true);
    banner->setFadeImage(true);
    const QImage background = shot(banner);
    banner->setImagePath(halves(400, 100));
    const QImage pixels = shot(banner);
    // 0.3 W lies in the hidden part: the gradient shows; 0.9 W is past the ramp: the image.
    QCOMPARE(pixels.pixelColor(120, 50), background.pixelColor(120, 50));
    QVERIFY(!near(background.pixelColor(120, 50), red, 40));
    QVERIFY(near(pixels.pixelColor(360, 50), blue));
}

void TestHeroBanner::gradientIsDarkenedUnderWhiteText()
{
    // Teal's own gradient is too light for the white clock the active page lays over it.
    UI::Theme::applyPalette(*qApp, u"teal"_s);
    HeroBanner banner;
    banner.resize(400, 100);
    banner.setGradientBackground(true);
    const QImage pixels = banner.grab().toImage();
    const QStringList stops = UI::Theme::textGradientStops(UI::Theme::currentPalette());
    QVERIFY(near(pixels.pixelColor(0, 50), QColor::fromString(stops.at(0)), 3));
    QVERIFY(near(pixels.pixelColor(399, 50), QColor::fromString(stops.at(2)), 3));
    QVERIFY(!near(pixels.pixelColor(0, 50), QColor::fromString(u"#2FAE9E"_s), 8));
    UI::Theme::applyPalette(*qApp, u"pink"_s);
}

void TestHeroBanner::zeroSizedBannerPaintsNothing()
{
    HeroBanner *banner = nullptr;
    const auto window = showBanner(banner, QSize(400, 100));
    QVERIFY(window);
    banner->setImagePath(halves(400, 100));
    banner->setScaleMode(1);
    banner->setFadeImage(true);
    banner->resize(0, 0);
    banner->repaint();
    QVERIFY(banner->grab().isNull());
    QImage image(1, 1, QImage::Format_RGB32);
    banner->render(&image);
}

void TestHeroBanner::followsPaletteChangesOnce()
{
    UI::Theme::applyPalette(*qApp, u"pink"_s);
    auto *notifier = UI::Theme::Notifier::instance();
    const int before = ReceiverCount::of(notifier, SIGNAL(paletteChanged()));
    HeroBanner banner;
    banner.resize(428, 180);
    banner.setImageKey(u"active"_s);
    QCOMPARE(banner.imagePath(), u":/banners/tracker-active-hero-pink.jpg"_s);
    const QImage pink = banner.grab().toImage();
    QVERIFY(pink.pixelColor(300, 60) != QColor::fromString(UI::Theme::chromeColor));

    banner.setImageKey(u"active"_s);
    QCOMPARE(ReceiverCount::of(notifier, SIGNAL(paletteChanged())), before + 1);

    UI::Theme::applyPalette(*qApp, u"blue"_s);
    QCOMPARE(banner.imagePath(), u":/banners/tracker-hero-banner-blue.jpg"_s);
    QVERIFY(banner.grab().toImage() != pink);
    UI::Theme::applyPalette(*qApp, u"pink"_s);
    QCOMPARE(banner.imagePath(), u":/banners/tracker-active-hero-pink.jpg"_s);

    banner.setImageKey(u"login"_s);
    QCOMPARE(banner.imagePath(), u":/banners/login-hero-banner-pink.jpg"_s);
    QCOMPARE(ReceiverCount::of(notifier, SIGNAL(paletteChanged())), before + 1);
}

void TestHeroBanner::drawsThePictureAgainAfterLeavingTheScreen_data()
{
    QTest::addColumn<bool>("wholeWindow");
    QTest::newRow("its window hidden and shown") << true;
    QTest::newRow("the banner hidden and shown") << false;
}

void TestHeroBanner::drawsThePictureAgainAfterLeavingTheScreen()
{
    QFETCH(bool, wholeWindow);
    HeroBanner *banner = nullptr;
    const auto window = showBanner(banner, QSize(400, 100));
    QVERIFY(window);
    banner->setImagePath(halves(400, 100));
    QVERIFY(near(shot(banner).pixelColor(100, 50), red));

    // Off screen the decoded picture is dropped; the next paint reads it again.
    QWidget *hidden = wholeWindow ? window.get() : banner;
    hidden->hide();
    hidden->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QImage pixels = shot(banner);
    QVERIFY(near(pixels.pixelColor(100, 50), red));
    QVERIFY(near(pixels.pixelColor(300, 50), blue));
}

CLOCKWARDEN_TEST_MAIN(TestHeroBanner)
#include "tst_herobanner.moc"
