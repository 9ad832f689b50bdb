#pragma once

#include "models/LoginCompany.h"
#include "models/SingleLoginResult.h"
#include "ui/signin/AuthFailures.h"
#include "ui/signin/LoginPhase.h"

#include <QList>
#include <QString>

#include <optional>

// What the sign-in view shows next, the order of the company page and the company chosen last.
// Pure functions apart from the one preference; GUI thread (the preference store itself is
// thread-safe).
namespace Core::LoginFlow {

// A step carries only the fields of its phase; the others keep their defaults.
struct Step
{
    LoginPhase phase = LoginPhase::Login;
    // The e-mail sent to the server.
    QString email;
    // The e-mail a code page shows, when the server named one.
    QString displayEmail;
    std::optional<QString> pendingToken;
    bool codeJustSent = false;
    QList<Models::LoginCompany> companies;
    QString userName;

    friend bool operator==(const Step &, const Step &) = default;
};

struct OrderedCompanies
{
    QList<Models::LoginCompany> companies;
    std::optional<QString> preselectedEndpoint;

    friend bool operator==(const OrderedCompanies &, const OrderedCompanies &) = default;
};

enum class ResetFailureTarget : int {
    ResetPage = 0,
    CodeStage = 1,
    SignInForm = 2,
};

// None for a completed (direct) sign-in.
std::optional<Step> nextStep(const Models::SingleLoginResult &result, const QString &fallbackEmail);

Step resetPasswordStep(const QString &email, bool codeJustSent);
ResetFailureTarget resetFailureTarget(AuthFailures::ResetSubmitKind kind);
QString nonEmptyOr(const std::optional<QString> &value, const QString &fallback);
// The token only of a two-factor step.
std::optional<QString> pendingTokenOf(const std::optional<Step> &step);

// Sorted by name with a case-insensitive collator of the default locale; the first company whose
// endpoint equals lastEndpoint exactly is moved to the front and preselected.
OrderedCompanies orderCompanies(const QList<Models::LoginCompany> &companies,
                                const std::optional<QString> &lastEndpoint);
// Stored unchanged under "lastSelectedCompanyEndpoint"; the key outlives sign-out.
void saveLastSelectedCompanyEndpoint(const QString &endpoint);
// None when the stored text is missing or empty.
std::optional<QString> lastSelectedCompanyEndpoint();

} // namespace Core::LoginFlow
