#include "TestEnvironment.h"

#include "services/server/AuthInput.h"

#include <QCoreApplication>
#include <QTest>

using Core::AuthInput::PasswordRule;
using Core::AuthInput::TwoFactorCodeKind;
using namespace Qt::StringLiterals;

using OptionalText = std::optional<QString>;
using RuleList = QList<PasswordRule>;
Q_DECLARE_METATYPE(OptionalText)
Q_DECLARE_METATYPE(PasswordRule)
Q_DECLARE_METATYPE(RuleList)
Q_DECLARE_METATYPE(TwoFactorCodeKind)

namespace {

const QStringList completeRow{ u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s };

QStringList rowWith(qsizetype index, const QString &text)
{
    QStringList row = completeRow;
    row[index] = text;
    return row;
}

} // namespace

class TestAuthInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void digitRowIsComplete_data();
    void digitRowIsComplete();
    void codeToAutoSubmitOnlyOncePerCode_data();
    void codeToAutoSubmitOnlyOncePerCode();
    void codeRowIsClearedOnlyBeforeVerification_data();
    void codeRowIsClearedOnlyBeforeVerification();
    void passwordRulesComeInOrderWithTheirTexts();
    void passwordRulesAreChecked_data();
    void passwordRulesAreChecked();
    void codeDigitsAreTheFirstSixAsciiDigits_data();
    void codeDigitsAreTheFirstSixAsciiDigits();
    void twoFactorCodesAreNormalisedAndClassed_data();
    void twoFactorCodesAreNormalisedAndClassed();
};

void TestAuthInput::digitRowIsComplete_data()
{
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("complete");

    QTest::newRow("six digits") << completeRow << true;
    QTest::newRow("zeros") << QStringList(6, u"0"_s) << true;
    QTest::newRow("five entries") << completeRow.mid(0, 5) << false;
    QTest::newRow("seven entries") << (completeRow + QStringList{ u"7"_s }) << false;
    QTest::newRow("no entries") << QStringList() << false;
    QTest::newRow("an empty entry") << rowWith(2, QString()) << false;
    QTest::newRow("two digits in one entry") << rowWith(5, u"67"_s) << false;
    QTest::newRow("a letter") << rowWith(0, u"a"_s) << false;
    QTest::newRow("a blank") << rowWith(3, u" "_s) << false;
    QTest::newRow("an Arabic-Indic digit") << rowWith(1, u"\u0663"_s) << false;
    QTest::newRow("a full-width digit") << rowWith(4, u"\uff15"_s) << false;
}

void TestAuthInput::digitRowIsComplete()
{
    QFETCH(QStringList, boxes);
    QFETCH(bool, complete);

    QCOMPARE(Core::AuthInput::isCompleteDigitRow(boxes), complete);
    QCOMPARE(Core::AuthInput::isCompleteTwoFactorDigitRow(boxes), complete);
}

void TestAuthInput::codeToAutoSubmitOnlyOncePerCode_data()
{
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<OptionalText>("lastSubmitted");
    QTest::addColumn<bool>("verified");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<OptionalText>("submitted");

    const OptionalText none;
    QTest::newRow("first complete row")
            << completeRow << none << false << false << OptionalText(u"123456"_s);
    QTest::newRow("same as last submitted")
            << completeRow << OptionalText(u"123456"_s) << false << false << none;
    QTest::newRow("one box changed since") << rowWith(5, u"9"_s) << OptionalText(u"123456"_s)
                                           << false << false << OptionalText(u"123459"_s);
    QTest::newRow("incomplete row") << rowWith(5, QString()) << none << false << false << none;
    QTest::newRow("already verified") << completeRow << none << true << false << none;
    QTest::newRow("busy") << completeRow << OptionalText(u"999999"_s) << false << true << none;
}

void TestAuthInput::codeToAutoSubmitOnlyOncePerCode()
{
    QFETCH(QStringList, boxes);
    QFETCH(OptionalText, lastSubmitted);
    QFETCH(bool, verified);
    QFETCH(bool, busy);
    QFETCH(OptionalText, submitted);

    QCOMPARE(Core::AuthInput::codeToAutoSubmit(boxes, lastSubmitted, verified, busy), submitted);
}

void TestAuthInput::codeRowIsClearedOnlyBeforeVerification_data()
{
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<bool>("verified");
    QTest::addColumn<bool>("clears");

    QTest::newRow("error before verification") << u"Invalid code."_s << false << true;
    QTest::newRow("error after verification") << u"Invalid code."_s << true << false;
    QTest::newRow("no error") << QString() << false << false;
}

void TestAuthInput::codeRowIsClearedOnlyBeforeVerification()
{
    QFETCH(QString, errorText);
    QFETCH(bool, verified);
    QFETCH(bool, clears);

    QCOMPARE(Core::AuthInput::canSubmitCode(errorText, verified), clears);
}

void TestAuthInput::passwordRulesComeInOrderWithTheirTexts()
{
    QCOMPARE(Core::AuthInput::passwordRules(),
             RuleList({ PasswordRule::MinLength, PasswordRule::Uppercase, PasswordRule::Digit }));
    QCOMPARE(&Core::AuthInput::passwordRules(), &Core::AuthInput::passwordRules());
    QCOMPARE(Core::AuthInput::passwordRuleText(PasswordRule::MinLength),
             u"At least 6 characters"_s);
    QCOMPARE(Core::AuthInput::passwordRuleText(PasswordRule::Uppercase),
             u"At least one capital letter (A-Z)"_s);
    QCOMPARE(Core::AuthInput::passwordRuleText(PasswordRule::Digit),
             u"At least one number (0-9)"_s);
    QCOMPARE(Core::AuthInput::passwordRuleText(static_cast<PasswordRule>(3)), QString());
    QVERIFY(!Core::AuthInput::passwordRuleMet(static_cast<PasswordRule>(3), u"Abcdef12"_s));
}

void TestAuthInput::passwordRulesAreChecked_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<RuleList>("unmet");

    QTest::newRow("six with capital and digit") << u"Abcde1"_s << RuleList();
    QTest::newRow("five with capital and digit")
            << u"Abcd1"_s << RuleList{ PasswordRule::MinLength };
    QTest::newRow("accented capital only")
            << u"\u00c9abcde1"_s << RuleList{ PasswordRule::Uppercase };
    QTest::newRow("no digit") << u"Abcdefg"_s << RuleList{ PasswordRule::Digit };
    QTest::newRow("Arabic-Indic digit only")
            << u"Abcdef\u0663"_s << RuleList{ PasswordRule::Digit };
    QTest::newRow("empty") << QString()
                           << RuleList{ PasswordRule::MinLength, PasswordRule::Uppercase,
                                        PasswordRule::Digit };
    // One character outside the basic plane counts as two UTF-16 units.
    QTest::newRow("four letters and an emoji") << u"A1bc\U0001F600"_s << RuleList();
    QTest::newRow("no lower-case or symbol needed") << u"ABCDEF1"_s << RuleList();
}

void TestAuthInput::passwordRulesAreChecked()
{
    QFETCH(QString, password);
    QFETCH(RuleList, unmet);

    QCOMPARE(Core::AuthInput::unmetPasswordRules(password), unmet);
    QCOMPARE(Core::AuthInput::passwordMeetsRules(password), unmet.isEmpty());
    for (const PasswordRule rule : Core::AuthInput::passwordRules())
        QCOMPARE(Core::AuthInput::passwordRuleMet(rule, password), !unmet.contains(rule));
}

void TestAuthInput::codeDigitsAreTheFirstSixAsciiDigits_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<bool>("sixDigits");

    QTest::newRow("six digits") << u"246810"_s << u"246810"_s << true;
    QTest::newRow("blanks and a dash") << u"12 34-56"_s << u"123456"_s << true;
    QTest::newRow("five digits") << u"12345"_s << u"12345"_s << false;
    QTest::newRow("seven digits") << u"1234567"_s << u"123456"_s << true;
    QTest::newRow("eight digits") << u"12345678"_s << u"123456"_s << true;
    QTest::newRow("letters between") << u"a1b2c3d4e5f6g"_s << u"123456"_s << true;
    QTest::newRow("Arabic-Indic digits skipped") << u"12\u0663\u06643456"_s << u"123456"_s << true;
    QTest::newRow("empty") << QString() << QString() << false;
}

void TestAuthInput::codeDigitsAreTheFirstSixAsciiDigits()
{
    QFETCH(QString, code);
    QFETCH(QString, digits);
    QFETCH(bool, sixDigits);

    QCOMPARE(Core::AuthInput::extractCodeDigits(code), digits);
    QCOMPARE(Core::AuthInput::isSixDigitCode(code), sixDigits);
}

void TestAuthInput::twoFactorCodesAreNormalisedAndClassed_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("normalized");
    QTest::addColumn<TwoFactorCodeKind>("kind");

    QTest::newRow("authenticator")
            << u"654321"_s << u"654321"_s << TwoFactorCodeKind::Authenticator;
    QTest::newRow("authenticator with a blank")
            << u"654 321"_s << u"654321"_s << TwoFactorCodeKind::Authenticator;
    QTest::newRow("six with a letter") << u"65432a"_s << u"65432a"_s << TwoFactorCodeKind::Invalid;
    QTest::newRow("six Arabic-Indic digits")
            << u"\u0661\u0662\u0663\u0664\u0665\u0666"_s
            << u"\u0661\u0662\u0663\u0664\u0665\u0666"_s << TwoFactorCodeKind::Invalid;
    QTest::newRow("recovery in capital groups with blanks")
            << u"ABCD EF01 2345 6789"_s << u"abcdef0123456789"_s << TwoFactorCodeKind::Recovery;
    QTest::newRow("recovery with dashes, tab and no-break space")
            << u"ABCD-EF01\t2345\u00a06789"_s << u"abcdef0123456789"_s
            << TwoFactorCodeKind::Recovery;
    QTest::newRow("recovery with U+0085 and an ideographic space")
            << u"abcd\u0085ef01\u30002345-6789\r\n"_s << u"abcdef0123456789"_s
            << TwoFactorCodeKind::Recovery;
    QTest::newRow("sixteen not hexadecimal kept as typed")
            << u"ABCD-EFGH-2345-6789"_s << u"ABCDEFGH23456789"_s << TwoFactorCodeKind::Recovery;
    QTest::newRow("fifteen") << u"abcdef012345678"_s << u"abcdef012345678"_s
                             << TwoFactorCodeKind::Invalid;
    QTest::newRow("seventeen") << u"abcdef01234567890"_s << u"abcdef01234567890"_s
                               << TwoFactorCodeKind::Invalid;
    QTest::newRow("the stand-in's twelve-character code")
            << u"ABCD-EFGH-2345"_s << u"ABCDEFGH2345"_s << TwoFactorCodeKind::Invalid;
    QTest::newRow("empty") << QString() << QString() << TwoFactorCodeKind::Invalid;
    QTest::newRow("only blanks and dashes") << u" - -"_s << QString() << TwoFactorCodeKind::Invalid;
}

void TestAuthInput::twoFactorCodesAreNormalisedAndClassed()
{
    QFETCH(QString, code);
    QFETCH(QString, normalized);
    QFETCH(TwoFactorCodeKind, kind);

    QCOMPARE(Core::AuthInput::normalizeTwoFactorCode(code), normalized);
    QCOMPARE(Core::AuthInput::classifyTwoFactorCode(code), kind);
    QCOMPARE(Core::AuthInput::isPlausibleTwoFactorCode(code), kind != TwoFactorCodeKind::Invalid);
}

CLOCKWARDEN_GUILESS_TEST_MAIN(TestAuthInput)

#include "tst_authinput.moc"
