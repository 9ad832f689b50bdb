#include "TestEnvironment.h"

#include "ui/theme/Theme.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QSvgRenderer>
#include <QTest>

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
    QStringList paths = { u":/icons/tembrix-logo.svg"_s };
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
};

void TestThemeResources::compilesEveryResource()
{
    const QStringList all = QStringList{ u":/icons/AppIcon.png"_s } + svgPaths() + bannerPaths();
    QCOMPARE(symbols.size(), 34);
    QCOMPARE(all.size(), 69);
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
    QCOMPARE(image.size(), QSize(1600, 640));
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

CLOCKWARDEN_TEST_MAIN(TestThemeResources)
#include "tst_themeresources.moc"
