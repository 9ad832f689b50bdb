#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QPushButton;
class QShowEvent;
class QVBoxLayout;

namespace Core {
class SessionManager;
}

namespace UI {

// The Settings tab: one scrolling column of five cards (Permissions, Account, Appearance, Version,
// Diagnostics). It keeps only the state of its own inline panels and of the two jobs it runs on
// the global thread pool (sign-out and the update check); everything else is re-read from the
// session engine, the state holder and the preferences on each refresh. refreshAccount runs on
// every tick of a tracked session, so it only reads getters. GUI thread only.
class SettingsView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SettingsView)

public:
    // Follows Core::SessionManager::instance().
    explicit SettingsView(QWidget *parent = nullptr);
    explicit SettingsView(Core::SessionManager &engine, QWidget *parent = nullptr);
    ~SettingsView() override;

    // The 92 salutations of the greeting line, built once (thread-safe) and never changed.
    static const QStringList &greetings();

public Q_SLOTS:
    void onAuthStateChanged();
    void onSessionStateChanged();

private Q_SLOTS:
    void onRefreshPermissionsClicked();
    void onRevokePermissionsClicked();
    void onLogoutClicked();
    void onCheckUpdateClicked();
    void onExportLogsClicked();
    void onPaletteChanged();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void refreshPermissions();
    void refreshAccount();
    void refreshVersion();
    void updatePaletteSwatches();
    // Link texts take their state colour's readable form for the applied palette.
    void restyleLinkButtons();

    static void styleSectionCard(QWidget *card);
    static QWidget *makeSectionHeader(const QString &glyph, const QString &title);
    QWidget *makeSectionCard(QWidget *content, const QString &glyph, const QString &title);
    void buildPermissionsSection(QWidget *content);
    QWidget *buildPermissionRow(const QString &glyph, const QString &title, QLabel **status,
                                QPushButton **openSettings);
    void buildAccountSection(QWidget *content);
    void buildAppearanceSection(QWidget *content);
    void buildVersionSection(QWidget *content);
    void buildDiagnosticsSection(QWidget *content);

    void onOpenScreenCaptureSettingsClicked();
    void onOpenInputMonitoringSettingsClicked();
    void onCancelRevokeClicked();
    void onConfirmRevokeClicked();
    void onRestartClicked();
    void askLogoutConfirmation();
    void onCancelLogoutClicked();
    void onPaletteSwatchClicked(const QString &paletteId);

    Core::SessionManager &m_engine;

    bool m_confirmingLogout = false;
    bool m_loggingOut = false;
    // The engine's tracking state the account section shows.
    bool m_shownTracking = false;
    bool m_checkingUpdate = false;
    QString m_currentGreeting = QStringLiteral("Hello");
    QList<QPushButton *> m_paletteSwatches;

    QVBoxLayout *m_contentColumn = nullptr;
    // Permissions.
    QLabel *m_screenRecordingStatus = nullptr;
    QLabel *m_inputMonitoringStatus = nullptr;
    QPushButton *m_screenRecordingOpenButton = nullptr;
    QPushButton *m_inputMonitoringOpenButton = nullptr;
    QWidget *m_revokeConfirmation = nullptr;
    QWidget *m_restartNotice = nullptr;
    // Account.
    QLabel *m_greetingLabel = nullptr;
    QLabel *m_companyLabel = nullptr;
    QPushButton *m_logoutButton = nullptr;
    QLabel *m_trackingHint = nullptr;
    QWidget *m_logoutConfirmation = nullptr;
    // Version and diagnostics.
    QLabel *m_versionLabel = nullptr;
    QPushButton *m_checkUpdateButton = nullptr;
    QLabel *m_updateStatusLabel = nullptr;
    QPushButton *m_exportLogsButton = nullptr;
    QLabel *m_exportStatusLabel = nullptr;
};

// The Account card's company line: the saved company name without surrounding blanks, else the
// host of the stored company endpoint, else empty.
QString companyDisplayText();

} // namespace UI
