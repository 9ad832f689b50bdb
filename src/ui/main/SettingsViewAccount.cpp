// The Account card: greeting and company lines, and sign-out with its inline confirmation.
#include "ui/main/SettingsView.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "networking/ApiEndpoint.h"
#include "services/server/AuthService.h"
#include "services/server/RemoteConfigService.h"
#include "storage/Preferences.h"
#include "ui/main/PlainLabel.h"
#include "ui/main/RunOnPool.h"
#include "ui/theme/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace UI {

QString companyDisplayText()
{
    if (const std::optional<QString> company = Storage::savedCompanyName()) {
        const QString trimmed = company->trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    if (const std::optional<QString> host = Networking::ApiEndpoint::overrideHost();
        host && !host->isEmpty())
        return *host;
    return {};
}

void SettingsView::buildAccountSection(QWidget *content)
{
    QWidget *card = makeSectionCard(content, QStringLiteral("person"), QStringLiteral("ACCOUNT"));
    auto *layout = static_cast<QVBoxLayout *>(card->layout());

    m_greetingLabel = plainLabel(card);
    m_greetingLabel->setObjectName(QStringLiteral("Settings_GreetingLabel"));
    layout->addWidget(m_greetingLabel);

    m_companyLabel = plainLabel(card);
    m_companyLabel->setObjectName(QStringLiteral("Settings_CompanyLabel"));
    QFont companyFont = m_companyLabel->font();
    companyFont.setWeight(QFont::Medium);
    m_companyLabel->setFont(companyFont);
    layout->addWidget(m_companyLabel);

    m_logoutConfirmation = new QWidget(card);
    m_logoutConfirmation->setProperty("plain", true);
    m_logoutConfirmation->setObjectName(QStringLiteral("Settings_LogoutConfirmation"));
    auto *confirmLayout = new QVBoxLayout(m_logoutConfirmation);
    confirmLayout->addWidget(
            plainLabel(QStringLiteral("Logout from Tembrix Clockwarden?"), m_logoutConfirmation));
    auto *confirmRow = new QHBoxLayout;
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), m_logoutConfirmation);
    cancel->setObjectName(QStringLiteral("Settings_CancelLogoutButton"));
    connect(cancel, &QPushButton::clicked, this, &SettingsView::onCancelLogoutClicked);
    confirmRow->addWidget(cancel);
    auto *confirm = new QPushButton(QStringLiteral("Logout"), m_logoutConfirmation);
    confirm->setObjectName(QStringLiteral("Settings_ConfirmLogoutButton"));
    confirm->setProperty("chip", true);
    confirm->setIcon(Theme::icon(QStringLiteral("logout"), QStringLiteral("#ffffff"), 13));
    confirm->setCursor(Qt::PointingHandCursor);
    connect(confirm, &QPushButton::clicked, this, &SettingsView::onLogoutClicked);
    confirmRow->addWidget(confirm);
    confirmLayout->addLayout(confirmRow);
    m_logoutConfirmation->hide();
    layout->addWidget(m_logoutConfirmation);

    auto *logoutRow = new QHBoxLayout;
    m_logoutButton = new QPushButton(QStringLiteral("Logout"), card);
    m_logoutButton->setObjectName(QStringLiteral("Settings_LogoutButton"));
    m_logoutButton->setIcon(Theme::icon(QStringLiteral("logout"), Theme::text2Color, 15));
    m_logoutButton->setCursor(Qt::PointingHandCursor);
    m_logoutButton->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(m_logoutButton, &QPushButton::clicked, this, &SettingsView::askLogoutConfirmation);
    logoutRow->addWidget(m_logoutButton);
    logoutRow->addStretch();
    layout->addLayout(logoutRow);

    m_trackingHint = plainLabel(QStringLiteral("Stop tracking before logging out."), card);
    m_trackingHint->setObjectName(QStringLiteral("Settings_TrackingHint"));
    m_trackingHint->setProperty("muted", true);
    m_trackingHint->setStyleSheet(QStringLiteral("font-size: 11px;"));
    layout->addWidget(m_trackingHint);
}

void SettingsView::refreshAccount()
{
    if (const std::optional<QString> name = Storage::savedUserName()) {
        m_greetingLabel->setText(QStringLiteral("%1 %2,").arg(m_currentGreeting, *name));
        m_greetingLabel->show();
    } else {
        m_greetingLabel->hide();
    }

    const QString company = companyDisplayText();
    m_companyLabel->setText(company);
    m_companyLabel->setVisible(!company.isEmpty());

    m_logoutConfirmation->setVisible(m_confirmingLogout);
    m_logoutButton->setVisible(!m_confirmingLogout);

    const bool tracking = m_engine.isTracking();
    m_shownTracking = tracking;
    m_logoutButton->setEnabled(!tracking && !m_loggingOut);
    m_logoutButton->setText(m_loggingOut ? QStringLiteral("Logging out…")
                                         : QStringLiteral("Logout"));
    m_trackingHint->setVisible(tracking);
}

void SettingsView::askLogoutConfirmation()
{
    m_confirmingLogout = true;
    refreshAccount();
}

void SettingsView::onCancelLogoutClicked()
{
    m_confirmingLogout = false;
    refreshAccount();
}

void SettingsView::onLogoutClicked()
{
    // Signing out mid-session would remove the tokens and the endpoint under a running engine.
    if (m_loggingOut || m_engine.isTracking()) {
        m_confirmingLogout = false;
        refreshAccount();
        return;
    }
    m_confirmingLogout = false;
    m_loggingOut = true;
    refreshAccount();

    runOnPool(
            this,
            [] {
                Services::AuthService::instance().logout();
                Services::RemoteConfigService::instance().stopPeriodicRefresh();
            },
            // The local sign-in data are cleared whatever the server said, so a failure changes
            // nothing here.
            [this](const PoolResult<std::monostate> &) {
                m_loggingOut = false;
                Core::AppStateManager::instance().resetForSignOut();
                refreshAccount();
            });
}

} // namespace UI
