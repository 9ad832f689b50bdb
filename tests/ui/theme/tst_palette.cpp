#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include "storage/StoreTestHooks.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

using namespace UI::Theme;
using namespace Qt::StringLiterals;

namespace {

QStringList colours(const Palette &p)
{
    return { p.brand700,    p.brand600,    p.brand,  p.brand400,   p.gradientStart,
             p.gradientMid, p.gradientEnd, p.chrome, p.background, p.border,
             p.surface,     p.text,        p.text2,  p.muted,      p.danger };
}

// Muted and danger text follow the palette too, but may be darkened to read: see tst_contrast.
QStringList variables()
{
    return { chromeColor, borderColor, textColor, text2Color, brandColor, brand700Color };
}

QStringList fields(const Palette &p)
{
    return { p.chrome, p.border, p.text, p.text2, p.brand, p.brand700 };
}

} // namespace

class TestPalette : public QObject
{
    Q_OBJECT

private slots:
    // Runs first: nothing has been applied yet.
    void currentIsPinkBeforeAnyApplication();
    void listsSevenPalettesInOrder();
    void everyColourIsUpperCaseHex();
    void onlyBlackIsDark();
    void lightGradientsStartAtBrand();
    void keepsAnchorColours();
    void looksUpById_data();
    void looksUpById();
    void currentFollowsApplication();
    void variablesFollowTheAppliedPalette();
};

void TestPalette::currentIsPinkBeforeAnyApplication()
{
    QCOMPARE(currentPalette().id, u"pink"_s);
    QCOMPARE(brandColor, u"#F32062"_s);
    QCOMPARE(variables(), fields(paletteById(u"pink"_s)));
}

void TestPalette::listsSevenPalettesInOrder()
{
    QStringList ids;
    QStringList names;
    for (const Palette &p : palettes()) {
        ids << p.id;
        names << p.displayName;
    }
    QCOMPARE(ids, QStringList({ u"pink"_s, u"purple"_s, u"orange"_s, u"teal"_s, u"blue"_s,
                                u"black"_s, u"brown"_s }));
    QCOMPARE(names, QStringList({ u"Pink"_s, u"Purple"_s, u"Orange"_s, u"Teal"_s, u"Blue"_s,
                                  u"Black"_s, u"Brown"_s }));
    // The list is built once: references stay valid.
    QCOMPARE(&palettes(), &palettes());
}

void TestPalette::everyColourIsUpperCaseHex()
{
    const QRegularExpression hex(u"^#[0-9A-F]{6}$"_s);
    for (const Palette &p : palettes()) {
        for (const QString &c : colours(p))
            QVERIFY2(hex.match(c).hasMatch(), qPrintable(p.id + u": "_s + c));
    }
}

void TestPalette::onlyBlackIsDark()
{
    for (const Palette &p : palettes())
        QCOMPARE(p.isDark, p.id == u"black"_s);
}

void TestPalette::lightGradientsStartAtBrand()
{
    for (const Palette &p : palettes()) {
        if (!p.isDark)
            QCOMPARE(p.gradientStart, p.brand);
    }
    const Palette &black = paletteById(u"black"_s);
    QCOMPARE(black.gradientStart, u"#3E3E46"_s);
    QCOMPARE(black.gradientEnd, u"#62626C"_s);
    QCOMPARE(black.brand, u"#A6A6B2"_s);
}

void TestPalette::keepsAnchorColours()
{
    QCOMPARE(paletteById(u"black"_s).surface, u"#26262B"_s);
    QCOMPARE(paletteById(u"teal"_s).brand, u"#2FAE9E"_s);
    QCOMPARE(paletteById(u"brown"_s).chrome, u"#EFE6DA"_s);
    const Palette &blue = paletteById(u"blue"_s);
    QCOMPARE(blue.gradientEnd, blue.brand400);
    QCOMPARE(paletteById(u"purple"_s).brand700, u"#5B36C9"_s);
    QCOMPARE(paletteById(u"orange"_s).border, u"#F4E0C9"_s);
    QCOMPARE(paletteById(u"black"_s).danger, u"#FF6B6B"_s);
}

void TestPalette::looksUpById_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QString() << u"pink"_s;
    QTest::newRow("display name") << u"Pink"_s << u"pink"_s;
    QTest::newRow("other case of teal") << u"Teal"_s << u"pink"_s;
    QTest::newRow("unknown") << u"nope"_s << u"pink"_s;
    QTest::newRow("teal") << u"teal"_s << u"teal"_s;
    QTest::newRow("brown, the last") << u"brown"_s << u"brown"_s;
}

void TestPalette::looksUpById()
{
    QFETCH(QString, id);
    QFETCH(QString, expected);
    QCOMPARE(paletteById(id).id, expected);
}

void TestPalette::currentFollowsApplication()
{
    FreshXdgRoot root;
    Storage::PreferencesTestHooks::reopen();
    applyPalette(*qApp, u"black"_s);
    QCOMPARE(currentPalette().id, u"black"_s);
    QVERIFY(currentPalette().isDark);
    QCOMPARE(currentPalette().surface, u"#26262B"_s);
    QCOMPARE(&currentPalette(), &paletteById(u"black"_s));
}

void TestPalette::variablesFollowTheAppliedPalette()
{
    FreshXdgRoot root;
    Storage::PreferencesTestHooks::reopen();
    for (const Palette &p : palettes()) {
        applyPalette(*qApp, p.id);
        QCOMPARE(variables(), fields(p));
        QCOMPARE(QStringList({ greenColor, orangeColor, blueColor, purpleColor }),
                 QStringList({ u"#17B83F"_s, u"#FF6B00"_s, u"#087DFF"_s, u"#9149E8"_s }));
    }
}

CLOCKWARDEN_TEST_MAIN(TestPalette)
#include "tst_palette.moc"
