#include "FreshXdgRoot.h"
#include "TestEnvironment.h"

#include "storage/Preferences.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/Theme.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

using namespace UI::Theme;
using namespace Qt::StringLiterals;

namespace {

// The declarations of the sheet's rule for exactly this selector.
QString ruleOf(const QString &sheet, const QString &selector)
{
    for (const QString &line : sheet.split(u'\n')) {
        if (line.startsWith(selector + u" {"_s))
            return line.mid(selector.size() + 2);
    }
    return {};
}

QString declared(const QString &rule, const QString &property)
{
    const QRegularExpression pattern(u"(?:^|[;{ ])"_s + QRegularExpression::escape(property)
                                     + u"\\s*:\\s*([^;}]+)"_s);
    const QRegularExpressionMatch match = pattern.match(rule);
    return match.hasMatch() ? match.captured(1).trimmed() : QString();
}

// Every "#RRGGBB" colour a value names: one for a plain colour, each stop
// for a gradient, none for "transparent".
QList<QColor> coloursIn(const QString &value)
{
    QList<QColor> colours;
    static const QRegularExpression hex(u"#[0-9A-Fa-f]{6}"_s);
    for (const QRegularExpressionMatch &match : hex.globalMatch(value))
        colours.append(QColor::fromString(match.captured()));
    return colours;
}

} // namespace

class TestContrast : public QObject
{
    Q_OBJECT

private slots:
    void ratiosFollowTheStandard();
    void textInTheSheetReads_data();
    void textInTheSheetReads();
    void textColourVariablesRead_data();
    void textColourVariablesRead();
    void derivedPartsRead_data();
    void derivedPartsRead();
    void translucentColoursRiseOnlyAsFarAsNeeded();
    void accentTextReads_data();
    void accentTextReads();
};

void TestContrast::ratiosFollowTheStandard()
{
    QCOMPARE(contrastRatio(Qt::black, Qt::white), 21.0);
    QCOMPARE(contrastRatio(Qt::white, Qt::white), 1.0);
    // #767676 is the classic lightest grey that reads on white.
    QVERIFY(contrastRatio(QColor(0x76, 0x76, 0x76), Qt::white) >= 4.5);
    QVERIFY(contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white) < 4.5);
}

void TestContrast::textInTheSheetReads_data()
{
    // selector; the text's background when the rule paints none: the window, cards and chrome.
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QString>("selector");
    const QString selectors[] = {
        u"QWidget"_s,
        u"QLineEdit:disabled"_s,
        u"QPushButton"_s,
        u"QPushButton[primary=\"true\"]"_s,
        u"QPushButton[destructive=\"true\"]"_s,
        u"QPushButton[destructive=\"true\"]:hover"_s,
        u"QPushButton[chip=\"true\"]"_s,
        u"QPushButton[chip=\"true\"]:hover"_s,
        u"QPushButton[ongradientchip=\"true\"]"_s,
        u"QPushButton[outline=\"true\"]"_s,
        u"QPushButton[flat=\"true\"]"_s,
        u"QPushButton[flat=\"true\"]:hover"_s,
        u"QPushButton[segment=\"true\"]"_s,
        u"QPushButton[segment=\"true\"]:checked"_s,
        u"QPushButton[navtoday=\"true\"]"_s,
        u"QLabel[muted=\"true\"]"_s,
        u"QLabel[secondary=\"true\"]"_s,
        u"QLabel[strong=\"true\"]"_s,
        u"QLabel[danger=\"true\"]"_s,
        u"QLabel[brand=\"true\"]"_s,
        u"QLabel[sectiontitle=\"true\"]"_s,
    };
    for (const Palette &palette : palettes()) {
        for (const QString &selector : selectors)
            QTest::addRow("%s %s", qPrintable(palette.id), qPrintable(selector))
                    << palette.id << selector;
    }
}

void TestContrast::textInTheSheetReads()
{
    QFETCH(QString, palette);
    QFETCH(QString, selector);
    FreshXdgRoot root;
    Storage::PreferencesTestHooks::reopen();
    applyPalette(*qApp, palette);
    const Palette &p = currentPalette();
    const QString sheet = styleSheet();

    const QString rule = ruleOf(sheet, selector);
    QVERIFY2(!rule.isEmpty(), qPrintable(selector));
    QString text = declared(rule, u"color"_s);
    // A state's rule keeps its widget's colour; a widget's rule inherits the base rule's.
    const QString plain = selector.section(u':', 0, 0);
    if (text.isEmpty() && plain != selector)
        text = declared(ruleOf(sheet, plain), u"color"_s);
    if (text.isEmpty())
        text = declared(ruleOf(sheet, u"QWidget"_s), u"color"_s);
    const QList<QColor> foreground = coloursIn(text);
    QCOMPARE(foreground.size(), 1);

    QString fill = declared(rule, u"background-color"_s);
    if (fill.isEmpty())
        fill = declared(rule, u"background"_s);
    QList<QColor> backgrounds = coloursIn(fill);
    if (backgrounds.isEmpty()) {
        backgrounds = { QColor::fromString(p.surface), QColor::fromString(p.background),
                        QColor::fromString(p.chrome) };
    }
    double worst = 21;
    for (const QColor &background : backgrounds)
        worst = std::min(worst, contrastRatio(foreground.constFirst(), background));
    qInfo("%s %s: %.2f", qPrintable(palette), qPrintable(selector), worst);
    QVERIFY2(worst >= kNormalTextContrast,
             qPrintable(u"%1 on %2: %3"_s.arg(text, fill).arg(worst, 0, 'f', 2)));
}

void TestContrast::textColourVariablesRead_data()
{
    QTest::addColumn<QString>("palette");
    for (const Palette &palette : palettes())
        QTest::newRow(qPrintable(palette.id)) << palette.id;
}

void TestContrast::textColourVariablesRead()
{
    QFETCH(QString, palette);
    FreshXdgRoot root;
    Storage::PreferencesTestHooks::reopen();
    applyPalette(*qApp, palette);
    const Palette &p = currentPalette();
    const QList<QColor> grounds = { QColor::fromString(p.surface), QColor::fromString(p.background),
                                    QColor::fromString(p.chrome) };
    const std::pair<QString, QString> texts[] = {
        { brandTextColor, p.brand }, { mutedColor, p.muted }, { dangerColor, p.danger },
        { textColor, p.text },       { text2Color, p.text2 },
    };
    for (const auto &[variable, own] : texts) {
        const QColor colour = QColor::fromString(variable);
        for (const QColor &ground : grounds)
            QVERIFY2(contrastRatio(colour, ground) >= kNormalTextContrast,
                     qPrintable(variable + u" on "_s + ground.name()));
        // Same hue as the palette's own colour: only its lightness moved.
        const QColor original = QColor::fromString(own);
        if (original.hsvSaturation() > 40 && colour.hsvSaturation() > 40)
            QVERIFY2(std::abs(colour.hsvHue() - original.hsvHue()) <= 6,
                     qPrintable(variable + u" vs "_s + own));
    }
}

void TestContrast::derivedPartsRead_data()
{
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QString>("part");
    const QString parts[] = {
        u"running clock"_s,       u"paused clock"_s,         u"progress track edge"_s,
        u"progress track veil"_s, u"progress on the veil"_s, u"no-screenshot text"_s,
        u"notice detail text"_s,
    };
    for (const Palette &palette : palettes()) {
        for (const QString &part : parts) {
            // A dark palette's pictures are dark: its track shows by the edge alone.
            if (palette.isDark && part == u"progress track veil"_s)
                continue;
            QTest::addRow("%s %s", qPrintable(palette.id), qPrintable(part)) << palette.id << part;
        }
    }
}

// Parts drawn over the Tracker banner (its fill as white text needs it, and its picture in the
// palette's tints), on screenshot placeholders and on the amber notice strip, each on everything
// it may lie on.
void TestContrast::derivedPartsRead()
{
    QFETCH(QString, palette);
    QFETCH(QString, part);
    const Palette &p = paletteById(palette);
    const BannerColours banner = bannerColours(p);
    const ThumbnailColours thumbnail = thumbnailColours(p);
    QList<QColor> fill;
    for (const QString &stop : textGradientStops(p))
        fill.append(QColor::fromString(stop));
    const QList<QColor> picture
            = { QColor::fromString(p.background), QColor::fromString(p.chrome) };
    QList<QColor> veiled;
    for (const QColor &stop : fill)
        veiled.append(composited(banner.trackFill, stop));

    QColor top;
    QList<QColor> grounds;
    double minimum = kNonTextContrast;
    if (part == u"running clock"_s) {
        top = Qt::white;
        grounds = fill;
        minimum = kNormalTextContrast;
    } else if (part == u"paused clock"_s) {
        // Still fainter than the running clock, but large text that reads.
        QVERIFY(banner.pausedClock.alphaF() < 1);
        top = banner.pausedClock;
        grounds = fill;
        minimum = kLargeTextContrast;
    } else if (part == u"progress track edge"_s) {
        top = banner.trackEdge;
        grounds = p.isDark ? fill + picture : fill;
    } else if (part == u"progress track veil"_s) {
        top = banner.trackFill;
        grounds = picture;
    } else if (part == u"progress on the veil"_s) {
        top = Qt::white;
        grounds = veiled;
    } else if (part == u"no-screenshot text"_s) {
        top = thumbnail.emptyText;
        grounds = { thumbnail.empty };
        minimum = kNormalTextContrast;
    } else {
        const NoticeColours notice = noticeColours(p);
        top = notice.mutedText;
        grounds = { composited(notice.strip, QColor::fromString(p.background)) };
        minimum = kNormalTextContrast;
    }
    double worst = 21;
    for (const QColor &ground : grounds)
        worst = std::min(worst, contrastRatio(composited(top, ground), ground));
    qInfo("%s %s: %.2f", qPrintable(palette), qPrintable(part), worst);
    QVERIFY2(worst >= minimum, qPrintable(u"%1: %2"_s.arg(part).arg(worst, 0, 'f', 2)));
}

void TestContrast::translucentColoursRiseOnlyAsFarAsNeeded()
{
    const QColor white(Qt::white);
    // White at 0.35 over white shows nothing at any opacity: it ends opaque.
    QCOMPARE(translucentOn(white, 0.35, { white }, 3.0).alphaF(), 1.0F);
    // Over black it reads already.
    QCOMPARE(translucentOn(white, 0.65, { Qt::black }, 3.0).alphaF(), 0.65F);
    // Over a mid grey it rises in steps until it reads, and no further.
    const QColor grey(0x80, 0x80, 0x80);
    const QColor risen = translucentOn(white, 0.3, { grey }, 2.0);
    QVERIFY(contrastRatio(composited(risen, grey), grey) >= 2.0);
    QColor lower = risen;
    lower.setAlphaF(risen.alphaF() - 0.05F);
    QVERIFY(contrastRatio(composited(lower, grey), grey) < 2.0);
    QCOMPARE(composited(QColor(255, 255, 255, 0), grey), grey);
}

void TestContrast::accentTextReads_data()
{
    // Accent and state colours views write as text: large titles and figures, and normal text.
    QTest::addColumn<QString>("palette");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<double>("minimum");
    for (const Palette &palette : palettes()) {
        const auto row = [&](const char *name, const QString &colour, double minimum) {
            QTest::addRow("%s %s", qPrintable(palette.id), name) << palette.id << colour << minimum;
        };
        row("brand title", palette.brand, kLargeTextContrast);
        row("brand text", palette.brand, kNormalTextContrast);
        row("green figure", greenColor, kNormalTextContrast);
        row("orange figure", orangeColor, kNormalTextContrast);
        row("purple figure", purpleColor, kNormalTextContrast);
    }
}

void TestContrast::accentTextReads()
{
    QFETCH(QString, palette);
    QFETCH(QString, colour);
    QFETCH(double, minimum);
    FreshXdgRoot root;
    Storage::PreferencesTestHooks::reopen();
    applyPalette(*qApp, palette);
    const Palette &p = currentPalette();
    const QColor original = QColor::fromString(colour);
    const QColor text = QColor::fromString(readableTextColour(colour, minimum));
    double worst = 21;
    double before = 21;
    for (const QString &ground : { p.surface, p.background, p.chrome }) {
        worst = std::min(worst, contrastRatio(text, QColor::fromString(ground)));
        before = std::min(before, contrastRatio(original, QColor::fromString(ground)));
    }
    qInfo("%s %s: %.2f -> %.2f", qPrintable(palette), qPrintable(colour), before, worst);
    QVERIFY2(worst >= minimum, qPrintable(QString::number(worst)));
    // A colour that reads already stays as it is.
    if (before >= minimum)
        QCOMPARE(text, original);
}

CLOCKWARDEN_TEST_MAIN(TestContrast)
#include "tst_contrast.moc"
