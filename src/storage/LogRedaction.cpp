#include "storage/LogRedaction.h"

#include <QRegularExpression>

#include "storage/Log.h"

using namespace Qt::StringLiterals;

namespace {

// Compiled eagerly inside the static's initialiser, so that threads only ever share a compiled,
// read-only pattern.
QRegularExpression compiled(const QString &pattern, QRegularExpression::PatternOptions options = {})
{
    QRegularExpression expression(pattern, options);
    expression.optimize();
    return expression;
}

constexpr auto caseInsensitive = QRegularExpression::CaseInsensitiveOption;

// A JSON string value; escaped quotes and backslashes belong to it, so a secret holding \" is
// hidden whole instead of up to its first escaped quote. The quantifiers are possessive: giving
// characters back can never end the value at a quote, and without them every character costs a
// backtracking frame, so a value of some 50,000 characters (or an unclosed quote followed by as
// much quote-free text) exhausts the matcher's stack, which ends the whole replacement there and
// leaves every later secret in the text unredacted.
QString jsonStringValue()
{
    return uR"re("(?:[^"\\]++|\\.)*+")re"_s;
}

} // namespace

namespace Networking {

QString redactForLog(const QString &text)
{
    static const QRegularExpression fields
            = compiled(uR"re("(access_token|refresh_token|pending_token|token|password|)re"
                       uR"re(authorization|otp|code|recovery_code|secret|api_key|client_secret)")re"
                       uR"re(\s*:\s*)re"_s
                               + jsonStringValue(),
                       caseInsensitive);
    static const QRegularExpression bearer = compiled(uR"re(Bearer\s+[A-Za-z0-9\-._~+/]+=*)re"_s);

    QString result = text;
    result.replace(fields, uR"re("\1":"<redacted>")re"_s);
    result.replace(bearer, u"Bearer <redacted>"_s);
    return result;
}

QString redactRecoveryPath(const QString &text)
{
    static const QRegularExpression recovery = compiled(
            uR"re((authentication/password/recovery/)(?!reset\b)[^/?#]+)re"_s, caseInsensitive);

    QString result = text;
    result.replace(recovery, uR"re(\1<redacted>)re"_s);
    return result;
}

} // namespace Networking

namespace Core {

QString Log::redactForExport(const QString &text)
{
    static const QRegularExpression jwt
            = compiled(uR"re(eyJ[A-Za-z0-9_-]+\.[A-Za-z0-9_-]+\.[A-Za-z0-9_-]+)re"_s);
    static const QRegularExpression fields
            = compiled(uR"re("(access_token|refresh_token|id_token|pending_token|token|)re"
                       uR"re(password|otp|code|recovery_code|secret|authorization)")re"
                       uR"re((\s*:\s*))re"_s
                               + jsonStringValue(),
                       caseInsensitive);
    static const QRegularExpression bearer
            = compiled(uR"re(Bearer\s+[A-Za-z0-9._\-]+)re"_s, caseInsensitive);

    // The order matters: a bearer JSON Web Token becomes "Bearer <redacted-jwt>" first, and the
    // bearer rule then finds no token characters after the space.
    QString result = text;
    result.replace(jwt, u"<redacted-jwt>"_s);
    result.replace(fields, uR"re("\1"\2"<redacted>")re"_s);
    result = Networking::redactRecoveryPath(result);
    result.replace(bearer, u"Bearer <redacted>"_s);
    return result;
}

} // namespace Core
