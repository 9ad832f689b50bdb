#pragma once

#include "models/LoginCompany.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QVBoxLayout;

namespace UI {

// The sign-in page listing the companies of the account as full-width row buttons, the company
// chosen last first with a "Recent" pill. A click stores the company's endpoint, then reports
// the company. GUI thread.
class CompanySelectionView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompanySelectionView)

public:
    explicit CompanySelectionView(QWidget *parent = nullptr);

    std::function<void(const Models::LoginCompany &)> onCompanySelected;

    // Replaces the rows (old ones are deleted later) and hides the error line.
    void setCompanies(const QList<Models::LoginCompany> &companies, const QString &userName);
    // Shows the line exactly when text is not empty.
    void showError(const QString &text);

    // The companies in display order.
    QList<Models::LoginCompany> companies() const { return m_companies; }

private:
    void onRowClicked(const Models::LoginCompany &company);
    QWidget *makeRow(const Models::LoginCompany &company, bool recent);

    QLabel *m_titleLabel = nullptr;
    QLabel *m_subtitleLabel = nullptr;
    QWidget *m_listWidget = nullptr;
    QVBoxLayout *m_listLayout = nullptr;
    QLabel *m_errorLabel = nullptr;
    QList<Models::LoginCompany> m_companies;
};

} // namespace UI
