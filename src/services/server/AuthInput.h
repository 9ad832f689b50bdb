#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// What typed codes and new passwords are worth, shared by the sign-in screens and the
// authentication service so that both read the user's input alike. Pure functions: no state, no
// log, no failure; any thread. Digits are the ASCII '0' to '9' only, capital letters 'A' to 'Z'
// only, and lengths count UTF-16 code units.
namespace Core::AuthInput {

enum class PasswordRule : int {
    MinLength = 0,
    Uppercase = 1,
    Digit = 2,
};

enum class TwoFactorCodeKind : int {
    // Six digits from an authenticator application.
    Authenticator = 0,
    // A sixteen-character recovery code.
    Recovery = 1,
    Invalid = 2,
};

// Six entries of exactly one digit each.
bool isCompleteDigitRow(const QStringList &boxes);
// The same rule, under the name the two-factor page uses.
bool isCompleteTwoFactorDigitRow(const QStringList &boxes);
// The joined code of a complete row, unless it equals the last one submitted or either flag
// (already verified, busy) is set.
std::optional<QString> codeToAutoSubmit(const QStringList &boxes,
                                        const std::optional<QString> &lastSubmitted, bool verified,
                                        bool busy);
// True when an error text is to be shown and the code has not been verified yet: the page then
// clears its code row.
bool canSubmitCode(const QString &errorText, bool verified);

// {MinLength, Uppercase, Digit}, in that order.
const QList<PasswordRule> &passwordRules();
QString passwordRuleText(PasswordRule rule);
bool passwordRuleMet(PasswordRule rule, const QString &password);
// In list order.
QList<PasswordRule> unmetPasswordRules(const QString &password);
bool passwordMeetsRules(const QString &password);

// The digits of the typed code in order, at most six; everything else is skipped.
QString extractCodeDigits(const QString &code);
// Six or more digits, whatever else the text holds.
bool isSixDigitCode(const QString &code);

// Drops white space and '-'; sixteen hexadecimal digits are lower-cased, anything else is kept
// as typed.
QString normalizeTwoFactorCode(const QString &code);
TwoFactorCodeKind classifyTwoFactorCode(const QString &code);
bool isPlausibleTwoFactorCode(const QString &code);

} // namespace Core::AuthInput
