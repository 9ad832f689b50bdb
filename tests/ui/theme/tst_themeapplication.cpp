#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include "storage/Preferences.h"
#include "storage/StoreTestHooks.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace UI::Theme;
using namespace Qt::StringLiterals;

namespace {

const QString paletteKey = Storage::PreferenceKeys::palette;

// A fresh XDG root with the preference store reopened on it, as at a first start.
struct FreshStart
{
    FreshXdgRoot root;
    FreshStart() { Storage::PreferencesTestHooks::reopen(); }
    QString preferencesFile() const { return root.configDir() + u"/preferences.ini"_s; }
    QString storedPalette() const
    {
        return QSettings(preferencesFile(), QSettings::IniFormat).value(paletteKey).toString();
    }
    void store(const QString &id) const
    {
        QDir().mkpath(root.configDir());
        {
            QSettings file(preferencesFile(), QSettings::IniFormat);
            file.setValue(paletteKey, id);
        }
        Storage::PreferencesTestHooks::reopen();
    }
};

QColor role(QPalette::ColorRole r)
{
    return QApplication::palette().color(r);
}

} // namespace

class TestThemeApplication : public QObject
{
    Q_OBJECT

private slots:
    void firstStartAppliesPinkAndStoresIt();
    void savedBlackSetsDarkRolesAndKeepsSheetTooltip();
    void unknownSavedIdFallsBackToPinkAndRewritesIt();
    void everySheetIsFullyExpanded();
    void primaryButtonsUseTheGradientText();
    void emitsOnePaletteChangePerApplication();
    void setsButtonHeightByStyle_data();
    void setsButtonHeightByStyle();
    void tintsSymbolsInOneColour();
    void unknownSymbolGivesNullIcon();
    void reusesTintedIconsUntilThePaletteChanges();
    void buildsBannerPaths();
};

void TestThemeApplication::firstStartAppliesPinkAndStoresIt()
{
    FreshStart start;
    QCOMPARE(savedPaletteId(), QString());
    apply(*qApp);
    QCOMPARE(currentPalette().id, u"pink"_s);
    QCOMPARE(start.storedPalette(), u"pink"_s);
    QCOMPARE(savedPaletteId(), u"pink"_s);
    QCOMPARE(QApplication::font().pointSizeF(), 10.0);
    QCOMPARE(qApp->styleSheet(), styleSheet());
}

void TestThemeApplication::savedBlackSetsDarkRolesAndKeepsSheetTooltip()
{
    FreshStart start;
    start.store(u"black"_s);
    apply(*qApp);
    QCOMPARE(currentPalette().id, u"black"_s);
    QCOMPARE(role(QPalette::Window), QColor(u"#202024"_s));
    QCOMPARE(role(QPalette::Base), QColor(u"#26262B"_s));
    QCOMPARE(role(QPalette::Text), QColor(u"#F2F2F5"_s));
    QCOMPARE(role(QPalette::Highlight), QColor(u"#A6A6B2"_s));
    QCOMPARE(role(QPalette::PlaceholderText), QColor(u"#8B8B94"_s));
    QCOMPARE(role(QPalette::ToolTipBase), QColor(u"#26262B"_s));
    QCOMPARE(QApplication::palette().color(QPalette::Disabled, QPalette::ToolTipBase),
             QColor(u"#26262B"_s));
    const QString tooltipRule = u"QToolTip { background-color: #1d1d1f;"_s;
    QVERIFY(qApp->styleSheet().contains(tooltipRule));

    applyPalette(*qApp, u"teal"_s);
    QCOMPARE(role(QPalette::ToolTipBase), QColor(u"#1d1d1f"_s));
    QCOMPARE(role(QPalette::Window), QColor(u"#F4FBF9"_s));
    QVERIFY(qApp->styleSheet().contains(tooltipRule));
    QCOMPARE(start.storedPalette(), u"teal"_s);
}

void TestThemeApplication::unknownSavedIdFallsBackToPinkAndRewritesIt()
{
    FreshStart start;
    start.store(u"garbage"_s);
    apply(*qApp);
    QCOMPARE(currentPalette().id, u"pink"_s);
    QCOMPARE(start.storedPalette(), u"pink"_s);
    // The stored id is the palette's own, not the one asked for.
    applyPalette(*qApp, u"Teal"_s);
    QCOMPARE(start.storedPalette(), u"pink"_s);
}

void TestThemeApplication::everySheetIsFullyExpanded()
{
    FreshStart start;
    const QRegularExpression placeholder(u"%[A-Z0-9]+%"_s);
    for (const Palette &p : palettes()) {
        applyPalette(*qApp, p.id);
        const QString sheet = styleSheet();
        QVERIFY2(!placeholder.match(sheet).hasMatch(),
                 qPrintable(p.id + u": "_s + placeholder.match(sheet).captured()));
        QVERIFY(sheet.contains(
                u"QWidget { background-color: %1; color: %2; }"_s.arg(p.background, p.text2)));
        QVERIFY(sheet.contains(u"QLineEdit:focus { border: 1px solid %1; }"_s.arg(p.brand)));
        QVERIFY(sheet.contains(
                u"QPushButton[chip=\"true\"]:pressed { background-color: %1; }"_s.arg(p.brand700)));
        QVERIFY(sheet.contains(u"QComboBox:hover { border: 1px solid %1; }"_s.arg(p.brand400)));
        QVERIFY(sheet.contains(u"QWidget[softrow=\"true\"] { background: %1;"_s.arg(p.background)));
        QVERIFY(sheet.contains(u"QLabel[secondary=\"true\"] { color: %1; }"_s.arg(p.text2)));
    }
}

void TestThemeApplication::primaryButtonsUseTheGradientText()
{
    FreshStart start;
    applyPalette(*qApp, u"teal"_s);
    const QString teal = u"qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #2FAE9E, "
                         u"stop:0.55 #3BB9A7, stop:1 #5BCBB6)"_s;
    QCOMPARE(gradient(currentPalette()), teal);
    // Teal is too light under white text: the sheet fills a darker gradient of the same hues.
    const QString readable = u"qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #248478, "
                             u"stop:0.55 #298275, stop:1 #3A8274)"_s;
    const QString sheet = styleSheet();
    QVERIFY(sheet.contains(u"QPushButton[primary=\"true\"] { background-color: "_s + readable
                           + u";"_s));
    QVERIFY(sheet.contains(u"QWidget[herocard=\"true\"] { background: "_s + readable + u";"_s));
    const QString hover = u"qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #228477, "
                          u"stop:0.55 #248478, stop:1 #298275)"_s;
    QVERIFY(sheet.contains(u"QPushButton[primary=\"true\"]:hover { background-color: "_s + hover
                           + u"; }"_s));
}

void TestThemeApplication::emitsOnePaletteChangePerApplication()
{
    FreshStart start;
    QSignalSpy spy(Notifier::instance(), &Notifier::paletteChanged);
    apply(*qApp);
    QCOMPARE(spy.count(), 1);
    applyPalette(*qApp, u"blue"_s);
    applyPalette(*qApp, u"blue"_s);
    QCOMPARE(spy.count(), 3);
}

void TestThemeApplication::setsButtonHeightByStyle_data()
{
    QTest::addColumn<QString>("property");
    QTest::addColumn<int>("minimum");
    QTest::newRow("primary") << u"primary"_s << 44;
    QTest::newRow("chip") << u"chip"_s << 44;
    QTest::newRow("flat") << u"flat"_s << 44;
    QTest::newRow("outline") << u"outline"_s << 40;
    QTest::newRow("plain") << QString() << 42;
    QTest::newRow("destructive counts as plain") << u"destructive"_s << 42;
}

void TestThemeApplication::setsButtonHeightByStyle()
{
    QFETCH(QString, property);
    QFETCH(int, minimum);
    QPushButton button;
    button.setStyleSheet(u"QPushButton { color: red; }"_s);
    if (!property.isEmpty())
        button.setProperty(property.toLatin1().constData(), true);
    setButtonHeight(&button, 44);
    QCOMPARE(button.styleSheet(),
             u"QPushButton { min-height: %1px; padding-top: 0px; padding-bottom: 0px; }"_s.arg(
                     minimum));
}

void TestThemeApplication::tintsSymbolsInOneColour()
{
    const QIcon tinted = icon(u"check-circle"_s, u"#17B83F"_s, 16);
    QVERIFY(!tinted.isNull());
    QCOMPARE(tinted.availableSizes(), QList<QSize>({ QSize(32, 32) }));
    const QImage image = tinted.pixmap(QSize(32, 32))
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(image.size(), QSize(32, 32));
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const int a = qAlpha(pixel);
            if (a == 0)
                continue;
            ++drawn;
            // Stored premultiplied: compare with the colour scaled by the pixel's own alpha.
            const QRgb expected = qPremultiply(qRgba(0x17, 0xB8, 0x3F, a));
            QVERIFY2(qAbs(qRed(pixel) - qRed(expected)) <= 1
                             && qAbs(qGreen(pixel) - qGreen(expected)) <= 1
                             && qAbs(qBlue(pixel) - qBlue(expected)) <= 1,
                     qPrintable(u"pixel %1,%2 is %3"_s.arg(x).arg(y).arg(pixel, 8, 16)));
        }
    }
    QVERIFY(drawn > 50);
    QCOMPARE(QColor::fromRgba(image.pixel(16, 4)).alpha(), 255); // on the ring
    QCOMPARE(QColor::fromRgba(image.pixel(12, 9)).alpha(), 0);   // inside the ring, undrawn
}

void TestThemeApplication::unknownSymbolGivesNullIcon()
{
    QVERIFY(icon(u"no-such-symbol"_s, u"#000000"_s, 16).isNull());
    QVERIFY(icon(QString(), u"#000000"_s, 16).isNull());
}

void TestThemeApplication::reusesTintedIconsUntilThePaletteChanges()
{
    FreshStart start;
    applyPalette(*qApp, u"pink"_s);
    const QIcon first = icon(u"play"_s, brandColor, 15);
    const qint64 firstPixmap = first.pixmap(15, 15).cacheKey();

    // A view refreshing every second asks again and again: one icon, one scaled pixmap.
    for (int tick = 0; tick < 20; ++tick) {
        const QIcon again = icon(u"play"_s, brandColor, 15);
        QCOMPARE(again.cacheKey(), first.cacheKey());
        QCOMPARE(again.pixmap(15, 15).cacheKey(), firstPixmap);
    }
    QVERIFY(icon(u"play"_s, brandColor, 16).cacheKey() != first.cacheKey());
    QVERIFY(icon(u"play"_s, textColor, 15).cacheKey() != first.cacheKey());
    QVERIFY(icon(u"stop"_s, brandColor, 15).cacheKey() != first.cacheKey());

    applyPalette(*qApp, u"blue"_s);
    const QIcon blue = icon(u"play"_s, brandColor, 15);
    QVERIFY(blue.cacheKey() != first.cacheKey());
    const QImage image = blue.pixmap(30, 30).toImage();
    QCOMPARE(QColor::fromRgba(image.pixel(15, 15)).alpha(), 255); // inside the play triangle
    QCOMPARE(image.pixelColor(15, 15).name(), QColor::fromString(brandColor).name());
}

void TestThemeApplication::buildsBannerPaths()
{
    QCOMPARE(trackerActiveBannerPath(paletteById(u"pink"_s)),
             u":/banners/tracker-active-hero-pink.jpg"_s);
    QCOMPARE(trackerActiveBannerPath(paletteById(u"blue"_s)),
             u":/banners/tracker-hero-banner-blue.jpg"_s);
    QCOMPARE(heroBannerPath(paletteById(u"black"_s), u"login"_s),
             u":/banners/login-hero-banner-black.jpg"_s);
}

CLOCKWARDEN_TEST_MAIN(TestThemeApplication)
#include "tst_themeapplication.moc"
