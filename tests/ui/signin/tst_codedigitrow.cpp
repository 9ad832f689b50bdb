#include "TestEnvironment.h"

#include "SignInPageFixture.h"
#include "ui/signin/CodeDigitRow.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using UI::CodeDigitRow;

namespace {

// Six characters, "_" for an empty box.
QString rowText(const CodeDigitRow &row)
{
    QString text;
    for (const QString &digit : row.digits())
        text += digit.isEmpty() ? u"_"_s : digit;
    return text;
}

struct RowUnderTest
{
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    CodeDigitRow *row = new CodeDigitRow(window.get());
    QList<QString> changed;
    QList<QString> completed;

    RowUnderTest()
    {
        row->setObjectNamePrefix(u"Row"_s);
        row->onChanged = [this](const QString &code) { changed.append(code); };
        row->onCompleted = [this](const QString &code) { completed.append(code); };
    }

    QLineEdit *box(int index) const
    {
        return SignInTest::child<QLineEdit>(row, u"Row_%1"_s.arg(index));
    }

    // Types each digit of the pattern into its box, as a user would, then forgets the callbacks.
    void fill(const QString &pattern)
    {
        for (int i = 0; i < pattern.size(); ++i) {
            if (pattern[i] != u'_')
                QTest::keyClick(box(i), pattern[i].toLatin1());
        }
        changed.clear();
        completed.clear();
    }

    int focusedBox() const
    {
        for (int i = 0; i < 6; ++i) {
            if (window->focusWidget() == box(i))
                return i;
        }
        return -1;
    }
};

} // namespace

class TestCodeDigitRow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void appliesEditRule_data();
    void appliesEditRule();
    void pastesThroughTheClipboard();
    void clearCallsNothingAndIsNoOverType();
};

void TestCodeDigitRow::initTestCase()
{
    SignInTest::usePalette(u"pink"_s);
}

void TestCodeDigitRow::appliesEditRule_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("box");
    QTest::addColumn<int>("cursor");     // -1: end of the text
    QTest::addColumn<QString>("typed");  // one key
    QTest::addColumn<QString>("pasted"); // inserted text
    QTest::addColumn<QString>("after");
    QTest::addColumn<int>("focus");
    QTest::addColumn<int>("changedCalls");
    QTest::addColumn<int>("completedCalls");

    const QString none;
    QTest::newRow("digit into empty box 0 moves on")
            << u"______"_s << 0 << -1 << u"4"_s << none << u"4_____"_s << 1 << 1 << 0;
    QTest::newRow("digit into box 4 moves on")
            << u"1234__"_s << 4 << -1 << u"5"_s << none << u"12345_"_s << 5 << 1 << 0;
    QTest::newRow("digit into box 5 stays and completes")
            << u"12345_"_s << 5 << -1 << u"6"_s << none << u"123456"_s << 5 << 1 << 1;
    QTest::newRow("letter into empty box")
            << u"1_____"_s << 1 << -1 << u"a"_s << none << u"1_____"_s << 1 << 1 << 0;
    QTest::newRow("blank into empty box")
            << u"______"_s << 0 << -1 << u" "_s << none << u"______"_s << 0 << 1 << 0;
    QTest::newRow("digit over digit, cursor after")
            << u"5_____"_s << 0 << 1 << u"7"_s << none << u"7_____"_s << 1 << 1 << 0;
    QTest::newRow("digit over digit, cursor before")
            << u"5_____"_s << 0 << 0 << u"7"_s << none << u"7_____"_s << 1 << 1 << 0;
    QTest::newRow("letter over digit keeps digit")
            << u"5_____"_s << 0 << 1 << u"x"_s << none << u"5_____"_s << 0 << 1 << 0;
    QTest::newRow("deleting empties without moving")
            << u"12____"_s << 1 << -1 << u"\b"_s << none << u"1_____"_s << 1 << 1 << 0;
    QTest::newRow("over-typing a complete row completes again")
            << u"123456"_s << 2 << 1 << u"9"_s << none << u"129456"_s << 3 << 1 << 1;
    QTest::newRow("six digits pasted into box 0")
            << u"______"_s << 0 << -1 << none << u"123456"_s << u"123456"_s << 5 << 1 << 1;
    QTest::newRow("separators dropped, six characters taken")
            << u"______"_s << 0 << -1 << none << u"12-3 4"_s << u"1234__"_s << 4 << 1 << 0;
    QTest::newRow("blank in the middle fills five boxes")
            << u"______"_s << 0 << -1 << none << u"123 456"_s << u"12345_"_s << 5 << 1 << 0;
    QTest::newRow("seven digits into box 2")
            << u"98____"_s << 2 << -1 << none << u"1234567"_s << u"981234"_s << 5 << 1 << 1;
    QTest::newRow("three digits into box 0")
            << u"______"_s << 0 << -1 << none << u"123"_s << u"123___"_s << 3 << 1 << 0;
    QTest::newRow("non-ASCII digits dropped")
            << u"______"_s << 0 << -1 << none << u"١٢3"_s << u"3_____"_s << 1 << 1 << 0;
}

void TestCodeDigitRow::appliesEditRule()
{
    QFETCH(QString, before);
    QFETCH(int, box);
    QFETCH(int, cursor);
    QFETCH(QString, typed);
    QFETCH(QString, pasted);
    QFETCH(QString, after);
    QFETCH(int, focus);
    QFETCH(int, changedCalls);
    QFETCH(int, completedCalls);

    RowUnderTest test;
    QVERIFY(SignInTest::showPage(test.window.get()));
    test.fill(before);
    QLineEdit *target = test.box(box);
    target->setFocus(Qt::OtherFocusReason);
    target->setCursorPosition(cursor < 0 ? int(target->text().size()) : cursor);

    if (typed == u"\b"_s)
        QTest::keyClick(target, Qt::Key_Backspace);
    else if (!typed.isEmpty())
        QTest::keyClicks(target, typed);
    else
        target->insert(pasted);

    QCOMPARE(rowText(*test.row), after);
    QCOMPARE(test.focusedBox(), focus);
    QCOMPARE(test.changed.size(), changedCalls);
    QCOMPARE(test.completed.size(), completedCalls);
    if (changedCalls > 0)
        QCOMPARE(test.changed.last(), test.row->code());
    if (completedCalls > 0) {
        QCOMPARE(test.completed.last(), test.row->code());
        QCOMPARE(test.changed.size(), 1); // onChanged before onCompleted, once per edit
    }
}

void TestCodeDigitRow::pastesThroughTheClipboard()
{
    RowUnderTest test;
    QVERIFY(SignInTest::showPage(test.window.get()));
    QApplication::clipboard()->setText(u"123 456"_s);
    test.box(0)->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(test.box(0), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(rowText(*test.row), u"12345_"_s);
    QCOMPARE(test.focusedBox(), 5);
    QCOMPARE(test.changed, QList<QString>{ u"12345"_s });
    QVERIFY(test.completed.isEmpty());
}

void TestCodeDigitRow::clearCallsNothingAndIsNoOverType()
{
    RowUnderTest test;
    QVERIFY(SignInTest::showPage(test.window.get()));
    test.fill(u"123456"_s);
    test.row->clear();
    QCOMPARE(rowText(*test.row), u"______"_s);
    QVERIFY(test.changed.isEmpty());
    QVERIFY(test.completed.isEmpty());

    // Box 0 held "1" before the clear; a fresh digit must not be read as typed over it.
    test.box(0)->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(test.box(0), '7');
    QCOMPARE(rowText(*test.row), u"7_____"_s);
    QCOMPARE(test.focusedBox(), 1);
}

CLOCKWARDEN_TEST_MAIN(TestCodeDigitRow)
#include "tst_codedigitrow.moc"
