#include "services/server/AuthInput.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Core::AuthInput {

namespace {

constexpr qsizetype codeLength = 6;
constexpr qsizetype recoveryCodeLength = 16;
constexpr qsizetype minimumPasswordLength = 6;

// QChar::isDigit and isUpper accept every script's digits and capitals; the rules want ASCII.
bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isAsciiCapital(QChar c)
{
    return c >= u'A' && c <= u'Z';
}

bool isHexDigit(QChar c)
{
    return isAsciiDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool allOf(const QString &text, bool (*predicate)(QChar))
{
    return std::all_of(text.cbegin(), text.cend(), predicate);
}

bool anyOf(const QString &text, bool (*predicate)(QChar))
{
    return std::any_of(text.cbegin(), text.cend(), predicate);
}

} // namespace

bool isCompleteDigitRow(const QStringList &boxes)
{
    return boxes.size() == codeLength
           && std::all_of(boxes.cbegin(), boxes.cend(), [](const QString &box) {
                  return box.size() == 1 && isAsciiDigit(box.front());
              });
}

bool isCompleteTwoFactorDigitRow(const QStringList &boxes)
{
    return isCompleteDigitRow(boxes);
}

std::optional<QString> codeToAutoSubmit(const QStringList &boxes,
                                        const std::optional<QString> &lastSubmitted, bool verified,
                                        bool busy)
{
    if (verified || busy || !isCompleteDigitRow(boxes))
        return std::nullopt;
    const QString code = boxes.join(QString());
    if (lastSubmitted && *lastSubmitted == code)
        return std::nullopt;
    return code;
}

bool canSubmitCode(const QString &errorText, bool verified)
{
    return !verified && !errorText.isEmpty();
}

const QList<PasswordRule> &passwordRules()
{
    static const QList<PasswordRule> rules{ PasswordRule::MinLength, PasswordRule::Uppercase,
                                            PasswordRule::Digit };
    return rules;
}

QString passwordRuleText(PasswordRule rule)
{
    switch (rule) {
    case PasswordRule::MinLength:
        return u"At least 6 characters"_s;
    case PasswordRule::Uppercase:
        return u"At least one capital letter (A-Z)"_s;
    case PasswordRule::Digit:
        return u"At least one number (0-9)"_s;
    }
    return {};
}

bool passwordRuleMet(PasswordRule rule, const QString &password)
{
    switch (rule) {
    case PasswordRule::MinLength:
        return password.size() >= minimumPasswordLength;
    case PasswordRule::Uppercase:
        return anyOf(password, isAsciiCapital);
    case PasswordRule::Digit:
        return anyOf(password, isAsciiDigit);
    }
    return false;
}

QList<PasswordRule> unmetPasswordRules(const QString &password)
{
    QList<PasswordRule> unmet;
    for (const PasswordRule rule : passwordRules()) {
        if (!passwordRuleMet(rule, password))
            unmet.append(rule);
    }
    return unmet;
}

bool passwordMeetsRules(const QString &password)
{
    return unmetPasswordRules(password).isEmpty();
}

QString extractCodeDigits(const QString &code)
{
    QString digits;
    for (const QChar c : code) {
        if (digits.size() == codeLength)
            break;
        if (isAsciiDigit(c))
            digits.append(c);
    }
    return digits;
}

bool isSixDigitCode(const QString &code)
{
    return extractCodeDigits(code).size() == codeLength;
}

QString normalizeTwoFactorCode(const QString &code)
{
    QString kept;
    kept.reserve(code.size());
    for (const QChar c : code) {
        // QChar::isSpace covers 9 to 13, 32, U+0085, U+00A0 and the other Unicode spaces.
        if (!c.isSpace() && c != u'-')
            kept.append(c);
    }
    if (kept.size() == recoveryCodeLength && allOf(kept, isHexDigit))
        return kept.toLower();
    return kept;
}

TwoFactorCodeKind classifyTwoFactorCode(const QString &code)
{
    const QString normalized = normalizeTwoFactorCode(code);
    if (normalized.size() == codeLength)
        return allOf(normalized, isAsciiDigit) ? TwoFactorCodeKind::Authenticator
                                               : TwoFactorCodeKind::Invalid;
    if (normalized.size() == recoveryCodeLength)
        return TwoFactorCodeKind::Recovery;
    return TwoFactorCodeKind::Invalid;
}

bool isPlausibleTwoFactorCode(const QString &code)
{
    return classifyTwoFactorCode(code) != TwoFactorCodeKind::Invalid;
}

} // namespace Core::AuthInput
