#include "ui/signin/LoginFlow.h"

#include "storage/Preferences.h"

#include <QCollator>

#include <algorithm>
#include <variant>

using namespace Qt::StringLiterals;

namespace Core::LoginFlow {

namespace {

QString nonEmpty(const QString &value, const QString &fallback)
{
    return value.isEmpty() ? fallback : value;
}

struct StepBuilder
{
    const QString &fallbackEmail;

    std::optional<Step> operator()(const Models::SingleLoginOtpRequired &answer) const
    {
        Step step;
        step.phase = LoginPhase::Otp;
        step.email = nonEmpty(answer.email, fallbackEmail);
        step.displayEmail = answer.userEmail;
        return step;
    }

    std::optional<Step> operator()(const Models::SingleLoginCompanySelection &answer) const
    {
        Step step;
        step.phase = LoginPhase::CompanySelection;
        step.email = fallbackEmail;
        step.companies = answer.companies;
        step.userName = nonEmpty(answer.userName, fallbackEmail);
        return step;
    }

    std::optional<Step> operator()(const Models::SingleLoginDirectConfig &) const
    {
        return std::nullopt;
    }

    std::optional<Step> operator()(const Models::SingleLoginTwoFactorRequired &answer) const
    {
        Step step;
        step.phase = LoginPhase::TwoFactor;
        step.email = nonEmpty(answer.email, fallbackEmail);
        step.displayEmail = answer.userEmail;
        step.pendingToken = answer.pendingToken;
        return step;
    }
};

const QCollator &companyCollator()
{
    // Built for the default locale at first use; later locale changes do not reach it.
    static const QCollator collator = [] {
        QCollator made;
        made.setCaseSensitivity(Qt::CaseInsensitive);
        return made;
    }();
    return collator;
}

} // namespace

std::optional<Step> nextStep(const Models::SingleLoginResult &result, const QString &fallbackEmail)
{
    return std::visit(StepBuilder{ fallbackEmail }, result);
}

Step resetPasswordStep(const QString &email, bool codeJustSent)
{
    Step step;
    step.phase = LoginPhase::ResetPassword;
    step.email = email;
    step.codeJustSent = codeJustSent;
    return step;
}

ResetFailureTarget resetFailureTarget(AuthFailures::ResetSubmitKind kind)
{
    switch (kind) {
    case AuthFailures::ResetSubmitKind::CodeInvalid:
        return ResetFailureTarget::CodeStage;
    case AuthFailures::ResetSubmitKind::PasswordChangedSignInFailed:
        return ResetFailureTarget::SignInForm;
    default:
        return ResetFailureTarget::ResetPage;
    }
}

QString nonEmptyOr(const std::optional<QString> &value, const QString &fallback)
{
    return value.has_value() ? nonEmpty(*value, fallback) : fallback;
}

std::optional<QString> pendingTokenOf(const std::optional<Step> &step)
{
    if (!step.has_value() || step->phase != LoginPhase::TwoFactor)
        return std::nullopt;
    return step->pendingToken;
}

OrderedCompanies orderCompanies(const QList<Models::LoginCompany> &companies,
                                const std::optional<QString> &lastEndpoint)
{
    OrderedCompanies ordered;
    ordered.companies = companies;
    const QCollator &collator = companyCollator();
    std::sort(ordered.companies.begin(), ordered.companies.end(),
              [&collator](const Models::LoginCompany &a, const Models::LoginCompany &b) {
                  return collator.compare(a.name, b.name) < 0;
              });
    if (!lastEndpoint.has_value())
        return ordered;

    const auto match = std::find_if(
            ordered.companies.begin(), ordered.companies.end(),
            [&lastEndpoint](const Models::LoginCompany &c) { return c.endpoint == *lastEndpoint; });
    if (match == ordered.companies.end())
        return ordered;
    std::rotate(ordered.companies.begin(), match, match + 1);
    ordered.preselectedEndpoint = ordered.companies.front().endpoint;
    return ordered;
}

void saveLastSelectedCompanyEndpoint(const QString &endpoint)
{
    Storage::Preferences::instance().setValue(Storage::PreferenceKeys::lastSelectedCompanyEndpoint,
                                              endpoint);
}

std::optional<QString> lastSelectedCompanyEndpoint()
{
    const QString stored = Storage::Preferences::instance()
                                   .value(Storage::PreferenceKeys::lastSelectedCompanyEndpoint)
                                   .toString();
    if (stored.isEmpty())
        return std::nullopt;
    return stored;
}

} // namespace Core::LoginFlow
