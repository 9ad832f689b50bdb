#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include "ui/theme/Theme.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace UI::Theme;
using namespace Qt::StringLiterals;

namespace {

const QStringList symbols = {
    u"activity"_s,     u"arrow-left"_s,     u"building"_s,     u"chart"_s,       u"check-circle"_s,
    u"chevron-left"_s, u"chevron-right"_s,  u"clipboard"_s,    u"clock"_s,       u"eye"_s,
    u"eye-slash"_s,    u"info-circle"_s,    u"keyboard"_s,     u"lightbulb"_s,   u"logout"_s,
    u"mail"_s,         u"minimize"_s,       u"mouse"_s,        u"number"_s,      u"pause"_s,
    u"person"_s,       u"photo"_s,          u"play"_s,         u"power"_s,       u"refresh"_s,
    u"sessions"_s,     u"shield"_s,         u"shield-alert"_s, u"stop"_s,        u"target"_s,
    u"tray-down"_s,    u"triangle-alert"_s, u"update"_s,       u"xmark-circle"_s
};

QStringList svgPaths()
{
    QStringList paths = { u":/icons/tembrix-logo.svg"_s, u":/icons/tembrix-logo-dark.svg"_s };
    for (const QString &tab : { u"tracker"_s, u"summary"_s, u"screenshots"_s, u"settings"_s })
        paths << u":/icons/tabs/tab-%1.svg"_s.arg(tab);
    for (const QString &name : symbols)
        paths << u":/icons/sym/%1.svg"_s.arg(name);
    return paths;
}

QStringList bannerPaths()
{
    QStringList paths = { u":/banners/tracker-active-hero-pink.jpg"_s };
    for (const QString &view : { u"login"_s, u"forgot"_s, u"company"_s, u"tracker"_s }) {
        for (const Palette &p : palettes())
            paths << heroBannerPath(p, view);
    }
    return paths;
}

int opaquePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) == 255;
    }
    return count;
}

// WCAG's contrast ratio of two opaque colours.
double contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF())
               + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class TestThemeResources : public QObject
{
    Q_OBJECT

private slots:
    void compilesEveryResource();
    void svgFilesAreValid_data();
    void svgFilesAreValid();
    void bannersAreWideJpegs_data();
    void bannersAreWideJpegs();
    void applicationIconIsSquare();
    void everySymbolTintsToOpaquePixels();
    void logoWordMarkReadsOnEveryPalette_data();
    void logoWordMarkReadsOnEveryPalette();
    void chevronImageIsTintedAndPointsDown();
};

void TestThemeResources::compilesEveryResource()
{
    const QStringList all = QStringList{ u":/icons/AppIcon.png"_s } + svgPaths() + bannerPaths();
    QCOMPARE(symbols.size(), 34);
    QCOMPARE(all.size(), 70);
    for (const QString &path : all)
        QVERIFY2(QFile::exists(path), qPrintable(path));
}

void TestThemeResources::svgFilesAreValid_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &path : svgPaths())
        QTest::newRow(qPrintable(path)) << path;
}

void TestThemeResources::svgFilesAreValid()
{
    QFETCH(QString, path);
    QSvgRenderer renderer(path);
    QVERIFY(renderer.isValid());
    QVERIFY(!renderer.defaultSize().isEmpty());
    if (path.contains(u"/sym/"_s) || path.contains(u"/tabs/"_s))
        QCOMPARE(renderer.viewBoxF(), QRectF(0, 0, 24, 24));
}

void TestThemeResources::bannersAreWideJpegs_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &path : bannerPaths())
        QTest::newRow(qPrintable(path)) << path;
}

void TestThemeResources::bannersAreWideJpegs()
{
    QFETCH(QString, path);
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    // The Tracker pages' banners are taller: the active page's card is about 1.9 : 1.
    const bool tracker = path.contains(u"tracker"_s);
    QCOMPARE(image.size(), QSize(1600, tracker ? 880 : 640));
}

void TestThemeResources::applicationIconIsSquare()
{
    QImageReader reader(u":/icons/AppIcon.png"_s);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QCOMPARE(image.size(), QSize(256, 256));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(128, 128)), 255);
}

void TestThemeResources::everySymbolTintsToOpaquePixels()
{
    for (const QString &name : symbols) {
        const QIcon tinted = icon(name, u"#000000"_s, 12);
        QVERIFY2(!tinted.isNull(), qPrintable(name));
        QVERIFY2(opaquePixels(tinted.pixmap(QSize(24, 24)).toImage()) > 10, qPrintable(name));
    }
}

void TestThemeResources::logoWordMarkReadsOnEveryPalette_data()
{
    QTest::addColumn<QString>("id");
    for (const Palette &palette : palettes())
        QTest::newRow(qPrintable(palette.id)) << palette.id;
}

void TestThemeResources::logoWordMarkReadsOnEveryPalette()
{
    QFETCH(QString, id);
    const Palette &palette = paletteById(id);
    QSvgRenderer renderer(logoPath(palette));
    QVERIFY(renderer.isValid());
    // Ten times the natural size, on the sign-in card's colour.
    const QColor card = QColor::fromString(palette.background);
    QImage image(renderer.defaultSize() * 10, QImage::Format_RGB32);
    image.fill(card);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    // The middle of the word mark's "b" stem, a stroke 3 units wide at x 90.5.
    const QColor wordMark = image.pixelColor(905, 150);
    QVERIFY2(wordMark != card, "no word mark there");
    // Small text: AA asks 4.5 : 1 against the card and the surface cards sit on.
    QVERIFY2(contrast(wordMark, card) >= 4.5, qPrintable(wordMark.name()));
    QVERIFY2(contrast(wordMark, QColor::fromString(palette.surface)) >= 4.5,
             qPrintable(wordMark.name()));
}

void TestThemeResources::chevronImageIsTintedAndPointsDown()
{
    FreshXdgRoot root;
    const QString path = chevronImagePath(u"#248478"_s);
    QVERIFY(!path.isEmpty());
    QVERIFY2(path.startsWith(root.path(u"runtime"_s)), qPrintable(path));
    // Asked again, the same file; another colour, another file.
    QCOMPARE(chevronImagePath(u"#248478"_s), path);
    QVERIFY(chevronImagePath(u"#A6A6B2"_s) != path);

    const QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(24, 24));
    int top = image.height();
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 128)
                continue;
            QVERIFY2(qAbs(pixel.red() - 0x24) <= 3 && qAbs(pixel.green() - 0x84) <= 3
                             && qAbs(pixel.blue() - 0x78) <= 3,
                     qPrintable(pixel.name()));
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    QVERIFY(bottom > top);
    // A "v": both arms at the top, one point at the bottom, in the middle.
    const auto drawnIn = [&image](int y, int from, int to) {
        for (int x = from; x < to; ++x) {
            if (image.pixelColor(x, y).alpha() >= 128)
                return true;
        }
        return false;
    };
    QVERIFY(drawnIn(top, 0, 9) && drawnIn(top, 15, 24));
    QVERIFY(drawnIn(bottom, 9, 15) && !drawnIn(bottom, 0, 9) && !drawnIn(bottom, 15, 24));
}

CLOCKWARDEN_TEST_MAIN(TestThemeResources)
#include "tst_themeresources.moc"
