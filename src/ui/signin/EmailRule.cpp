#include "ui/signin/EmailRule.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace UI {

bool isValidSignInEmail(const QString &email)
{
    static const QRegularExpression pattern(u"^[A-Z0-9._%+\\-]+@[A-Z0-9.\\-]+\\.[A-Z]{2,}$"_s,
                                            QRegularExpression::CaseInsensitiveOption);
    return pattern.match(email.trimmed()).hasMatch();
}

} // namespace UI
