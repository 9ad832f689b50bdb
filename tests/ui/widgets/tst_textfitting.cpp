#include "TestEnvironment.h"

#include "ui/widgets/TextFitting.h"

#include <QApplication>
#include <QTest>

using namespace Qt::StringLiterals;
using UI::fitTextToTwoLines;
using UI::wrappedLineCount;

namespace {

const QChar ellipsis(0x2026);
constexpr double minimum = 10.0;

QFont baseFont(double points)
{
    QFont font(u"DejaVu Sans"_s);
    font.setPointSizeF(points);
    return font;
}

QFont atSize(QFont font, double points)
{
    font.setPointSizeF(points);
    return font;
}

} // namespace

// Properties over texts and widths rather than fixed metrics, so the test holds for any font.
class TestTextFitting : public QObject
{
    Q_OBJECT

private slots:
    void fitsIntoTwoLines_data();
    void fitsIntoTwoLines();
    void cutAfterABlankLosesTheBlank();
    void emptyTextTakesOneLine();
    void pixelFontStartsAtTwelvePoints();
    void countsWrappedLines();
};

void TestTextFitting::fitsIntoTwoLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<double>("start");
    const QString greeting = u"Good afternoon, Alexandra"_s;
    const QString progress = u"You have tracked 7 hours and 42 minutes today and the target is "
                             u"8 hours, so a short stretch is left before the day is done"_s;
    const QString word = u"Pneumonoultramicroscopicsilicovolcanoconiosis"_s.repeated(3);
    QTest::newRow("short greeting, wide") << greeting << 280 << 16.0;
    QTest::newRow("short greeting, narrow") << greeting << 185 << 16.0;
    QTest::newRow("greeting that must shrink") << greeting << 120 << 22.0;
    QTest::newRow("long progress, wide") << progress << 280 << 12.0;
    QTest::newRow("long progress, narrow") << progress << 185 << 12.0;
    QTest::newRow("unbroken word") << word << 185 << 12.0;
    QTest::newRow("unbroken word, at the minimum already") << word << 185 << 10.0;
    QTest::newRow("very narrow") << progress << 40 << 12.0;
}

void TestTextFitting::fitsIntoTwoLines()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(double, start);
    const QFont font = baseFont(start);
    const UI::FittedText fitted = fitTextToTwoLines(text, font, width, minimum);

    QVERIFY(fitted.lineCount <= 2);
    QCOMPARE(fitted.lineCount, wrappedLineCount(fitted.text, fitted.font, width));
    QCOMPARE(fitted.font.family(), font.family());
    QVERIFY(fitted.font.pointSizeF() >= minimum && fitted.font.pointSizeF() <= start);

    if (wrappedLineCount(text, font, width) <= 2) {
        QCOMPARE(fitted.text, text);
        QCOMPARE(fitted.font.pointSizeF(), start);
        return;
    }
    if (fitted.text == text) {
        // Shrunk only: half a point larger would need a third line.
        QVERIFY(fitted.font.pointSizeF() < start);
        QVERIFY(wrappedLineCount(text, atSize(font, fitted.font.pointSizeF() + 0.5), width) > 2);
        return;
    }
    // Cut: only at the minimum size, as a right-trimmed prefix and an ellipsis.
    QCOMPARE(fitted.font.pointSizeF(), minimum);
    QVERIFY(wrappedLineCount(text, fitted.font, width) > 2);
    QVERIFY(fitted.text.endsWith(ellipsis));
    const QString prefix = fitted.text.chopped(1);
    QVERIFY(!prefix.isEmpty());
    QVERIFY(text.startsWith(prefix));
    QCOMPARE(prefix, prefix.trimmed());
    // Maximal: the next character of the text (past any blanks trimmed off) no longer fits.
    qsizetype next = prefix.size();
    while (next < text.size() && text.at(next).isSpace())
        ++next;
    QVERIFY(wrappedLineCount(text.left(next + 1) + ellipsis, fitted.font, width) > 2);
}

void TestTextFitting::cutAfterABlankLosesTheBlank()
{
    // Search the widths for cuts that fall on a blank; each must end in a letter before "…".
    const QString text = u"aa bb cc dd ee ff gg hh ii jj kk ll mm nn oo pp qq rr ss tt uu vv"_s;
    const QFont font = baseFont(10);
    int blanks = 0;
    for (int width = 30; width <= 200; ++width) {
        const UI::FittedText fitted = fitTextToTwoLines(text, font, width, minimum);
        if (fitted.text == text)
            continue;
        const QString prefix = fitted.text.chopped(1);
        QVERIFY(!prefix.endsWith(u' '));
        if (prefix.size() < text.size() && text.at(prefix.size()) == u' ')
            ++blanks;
    }
    QVERIFY(blanks > 0);
}

void TestTextFitting::emptyTextTakesOneLine()
{
    const UI::FittedText fitted = fitTextToTwoLines(QString(), baseFont(14), 185, minimum);
    QCOMPARE(fitted.text, QString());
    QCOMPARE(fitted.lineCount, 1);
    QCOMPARE(fitted.font, baseFont(14));
    QCOMPARE(wrappedLineCount(QString(), baseFont(14), 1), 1);
}

void TestTextFitting::pixelFontStartsAtTwelvePoints()
{
    QFont pixels(u"DejaVu Sans"_s);
    pixels.setPixelSize(30);
    const UI::FittedText fitted = fitTextToTwoLines(u"Hi"_s, pixels, 185, minimum);
    QCOMPARE(fitted.font.pointSizeF(), 12.0);
    QCOMPARE(fitted.text, u"Hi"_s);
    QCOMPARE(fitted.lineCount, 1);
}

void TestTextFitting::countsWrappedLines()
{
    const QFont font = baseFont(10);
    const QString words = u"one two three four five six seven eight nine ten"_s;
    const int wide = wrappedLineCount(words, font, 2000);
    const int narrow = wrappedLineCount(words, font, 60);
    QCOMPARE(wide, 1);
    QVERIFY(narrow > 2);
    // Narrower never takes fewer lines.
    QVERIFY(wrappedLineCount(words, font, 30) >= narrow);
}

CLOCKWARDEN_TEST_MAIN(TestTextFitting)
#include "tst_textfitting.moc"
