#include "ui/main/SettingsView.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "services/tracking/PermissionService.h"
#include "ui/main/PlainLabel.h"
#include "ui/theme/Theme.h"

#include <QCoreApplication>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QVBoxLayout>

namespace UI {

namespace {

constexpr int kGlyphSize = 13;
constexpr int kRowIconSize = 15;
constexpr int kCheckSize = 16;

QString linkButtonStyle(const QString &colour)
{
    return QStringLiteral("QPushButton { color: %1; background: transparent; border: none; "
                          "padding: 4px 2px; text-align: left; }")
            .arg(colour);
}

QPushButton *makeLinkButton(const QString &text, const QString &glyph, const QString &colour,
                            QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    // The state colour itself for the icon; as text, its readable form (restyled with the palette).
    button->setProperty("linkColour", colour);
    button->setStyleSheet(linkButtonStyle(Theme::readableTextColour(colour)));
    button->setIcon(Theme::icon(glyph, colour, kGlyphSize));
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

QLabel *makeWrappedLabel(const QString &text, QWidget *parent)
{
    auto *label = plainLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

void SettingsView::restyleLinkButtons()
{
    for (QPushButton *button : findChildren<QPushButton *>()) {
        const QVariant link = button->property("linkColour");
        if (link.isValid())
            button->setStyleSheet(linkButtonStyle(Theme::readableTextColour(link.toString())));
    }
}

SettingsView::SettingsView(QWidget *parent)
    : SettingsView(Core::SessionManager::instance(), parent)
{
}

SettingsView::SettingsView(Core::SessionManager &engine, QWidget *parent)
    : QWidget(parent)
    , m_engine(engine)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("Settings_ScrollArea"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    outer->addWidget(scroll);

    auto *content = new QWidget(scroll->viewport());
    m_contentColumn = new QVBoxLayout(content);
    m_contentColumn->setSpacing(16);
    buildPermissionsSection(content);
    buildAccountSection(content);
    buildAppearanceSection(content);
    buildVersionSection(content);
    buildDiagnosticsSection(content);
    m_contentColumn->addStretch();
    scroll->setWidget(content);

    refreshPermissions();
    refreshAccount();
    refreshVersion();

    connect(&Core::AppStateManager::instance(), &Core::AppStateManager::isAuthenticatedChanged,
            this, &SettingsView::onAuthStateChanged);
    connect(&m_engine, &Core::SessionManager::stateChanged, this,
            &SettingsView::onSessionStateChanged);
    connect(Theme::Notifier::instance(), &Theme::Notifier::paletteChanged, this,
            &SettingsView::onPaletteChanged);
}

SettingsView::~SettingsView() = default;

void SettingsView::onAuthStateChanged()
{
    refreshAccount();
    refreshVersion();
}

void SettingsView::onSessionStateChanged()
{
    // A sign-out confirmed mid-session would leave the engine tracking without tokens, so a
    // session that starts closes the confirmation instead of leaving its "Logout" armed.
    const bool tracking = m_engine.isTracking();
    // Of the engine's state the section shows only whether it tracks: its ticks change nothing.
    if (tracking == m_shownTracking && !(m_confirmingLogout && tracking))
        return;
    if (m_confirmingLogout && tracking)
        m_confirmingLogout = false;
    refreshAccount();
}

void SettingsView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    const QStringList &salutations = greetings();
    m_currentGreeting = salutations.at(
            QRandomGenerator::global()->bounded(static_cast<int>(salutations.size())));
    refreshPermissions();
    refreshAccount();
    refreshVersion();
}

void SettingsView::styleSectionCard(QWidget *card)
{
    card->setAttribute(Qt::WA_StyledBackground);
    card->setProperty("sectioncard", true);
    card->layout()->setContentsMargins(14, 14, 14, 14);
    auto *shadow = new QGraphicsDropShadowEffect(card);
    shadow->setBlurRadius(18);
    shadow->setColor(QColor(0, 0, 0, 18));
    shadow->setOffset(0, 3);
    card->setGraphicsEffect(shadow);
}

QWidget *SettingsView::makeSectionHeader(const QString &glyph, const QString &title)
{
    auto *header = new QWidget;
    header->setStyleSheet(QStringLiteral("QWidget { background: transparent; }"));
    auto *layout = new QHBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    auto *glyphLabel = plainLabel(header);
    glyphLabel->setProperty("glyph", glyph);
    glyphLabel->setPixmap(
            Theme::icon(glyph, Theme::brandColor, kGlyphSize).pixmap(kGlyphSize, kGlyphSize));
    layout->addWidget(glyphLabel);
    auto *titleLabel = plainLabel(title, header);
    titleLabel->setProperty("sectiontitle", true);
    layout->addWidget(titleLabel);
    layout->addStretch();
    return header;
}

// A styled card with its header, appended to the content column; the caller adds the rest.
QWidget *SettingsView::makeSectionCard(QWidget *content, const QString &glyph, const QString &title)
{
    auto *card = new QWidget(content);
    auto *layout = new QVBoxLayout(card);
    layout->setSpacing(8);
    styleSectionCard(card);
    QWidget *header = makeSectionHeader(glyph, title);
    header->setParent(card);
    layout->addWidget(header);
    m_contentColumn->addWidget(card);
    return card;
}

QWidget *SettingsView::buildPermissionRow(const QString &glyph, const QString &title,
                                          QLabel **status, QPushButton **openSettings)
{
    auto *row = new QWidget;
    row->setProperty("softrow", true);
    row->setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(12, 9, 12, 9);
    layout->setSpacing(8);
    auto *icon = plainLabel(row);
    icon->setPixmap(
            Theme::icon(glyph, Theme::text2Color, kRowIconSize).pixmap(kRowIconSize, kRowIconSize));
    layout->addWidget(icon);
    layout->addWidget(plainLabel(title, row));
    layout->addStretch();
    *status = plainLabel(row);
    layout->addWidget(*status);
    *openSettings = new QPushButton(QStringLiteral("Open Settings"), row);
    (*openSettings)->setProperty("flat", true);
    layout->addWidget(*openSettings);
    return row;
}

void SettingsView::buildPermissionsSection(QWidget *content)
{
    QWidget *card
            = makeSectionCard(content, QStringLiteral("shield"), QStringLiteral("PERMISSIONS"));
    auto *layout = static_cast<QVBoxLayout *>(card->layout());

    QWidget *screenRow
            = buildPermissionRow(QStringLiteral("photo"), QStringLiteral("Screen Recording"),
                                 &m_screenRecordingStatus, &m_screenRecordingOpenButton);
    m_screenRecordingStatus->setObjectName(QStringLiteral("Settings_ScreenRecordingStatus"));
    m_screenRecordingOpenButton->setObjectName(QStringLiteral("Settings_ScreenRecordingButton"));
    connect(m_screenRecordingOpenButton, &QPushButton::clicked, this,
            &SettingsView::onOpenScreenCaptureSettingsClicked);
    layout->addWidget(screenRow);

    QWidget *inputRow
            = buildPermissionRow(QStringLiteral("mouse"), QStringLiteral("Input Monitoring"),
                                 &m_inputMonitoringStatus, &m_inputMonitoringOpenButton);
    m_inputMonitoringStatus->setObjectName(QStringLiteral("Settings_InputMonitoringStatus"));
    m_inputMonitoringOpenButton->setObjectName(QStringLiteral("Settings_InputMonitoringButton"));
    connect(m_inputMonitoringOpenButton, &QPushButton::clicked, this,
            &SettingsView::onOpenInputMonitoringSettingsClicked);
    layout->addWidget(inputRow);

    m_restartNotice = new QWidget(card);
    m_restartNotice->setProperty("plain", true);
    m_restartNotice->setObjectName(QStringLiteral("Settings_RestartNotice"));
    auto *noticeLayout = new QVBoxLayout(m_restartNotice);
    noticeLayout->addWidget(
            makeWrappedLabel(QStringLiteral("Permissions revoked."), m_restartNotice));
    noticeLayout->addWidget(makeWrappedLabel(
            QStringLiteral("Restart the app for the status to update."), m_restartNotice));
    auto *restart = new QPushButton(QStringLiteral("Restart"), m_restartNotice);
    restart->setObjectName(QStringLiteral("Settings_RestartButton"));
    connect(restart, &QPushButton::clicked, this, &SettingsView::onRestartClicked);
    noticeLayout->addWidget(restart);
    m_restartNotice->hide();
    layout->addWidget(m_restartNotice);

    m_revokeConfirmation = new QWidget(card);
    m_revokeConfirmation->setProperty("plain", true);
    m_revokeConfirmation->setObjectName(QStringLiteral("Settings_RevokeConfirmation"));
    auto *confirmLayout = new QVBoxLayout(m_revokeConfirmation);
    confirmLayout->addWidget(makeWrappedLabel(
            QStringLiteral("Revoke all permissions? You must restart the app and re-grant them."),
            m_revokeConfirmation));
    auto *confirmRow = new QHBoxLayout;
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), m_revokeConfirmation);
    cancel->setObjectName(QStringLiteral("Settings_CancelRevokeButton"));
    connect(cancel, &QPushButton::clicked, this, &SettingsView::onCancelRevokeClicked);
    confirmRow->addWidget(cancel);
    auto *revoke = new QPushButton(QStringLiteral("Revoke"), m_revokeConfirmation);
    revoke->setObjectName(QStringLiteral("Settings_ConfirmRevokeButton"));
    connect(revoke, &QPushButton::clicked, this, &SettingsView::onConfirmRevokeClicked);
    confirmRow->addWidget(revoke);
    confirmLayout->addLayout(confirmRow);
    m_revokeConfirmation->hide();
    layout->addWidget(m_revokeConfirmation);

    auto *links = new QHBoxLayout;
    QPushButton *refresh = makeLinkButton(QStringLiteral("Refresh Permissions"),
                                          QStringLiteral("refresh"), Theme::blueColor, card);
    refresh->setObjectName(QStringLiteral("Settings_RefreshPermissionsButton"));
    connect(refresh, &QPushButton::clicked, this, &SettingsView::onRefreshPermissionsClicked);
    links->addWidget(refresh);
    QPushButton *revokeLink
            = makeLinkButton(QStringLiteral("Revoke Permissions"), QStringLiteral("xmark-circle"),
                             Theme::orangeColor, card);
    revokeLink->setObjectName(QStringLiteral("Settings_RevokePermissionsButton"));
    connect(revokeLink, &QPushButton::clicked, this, &SettingsView::onRevokePermissionsClicked);
    links->addWidget(revokeLink);
    links->addStretch();
    layout->addLayout(links);
}

void SettingsView::refreshPermissions()
{
    const auto &permissions = Services::PermissionService::instance();
    const bool screen = permissions.hasScreenCapturePermission();
    const bool input = permissions.hasInputMonitoringPermission();
    const QPixmap check = Theme::icon(QStringLiteral("check-circle"), Theme::greenColor, kCheckSize)
                                  .pixmap(kCheckSize, kCheckSize);
    if (screen)
        m_screenRecordingStatus->setPixmap(check);
    else
        m_screenRecordingStatus->clear();
    m_screenRecordingOpenButton->setVisible(!screen);
    if (input)
        m_inputMonitoringStatus->setPixmap(check);
    else
        m_inputMonitoringStatus->clear();
    m_inputMonitoringOpenButton->setVisible(!input);
}

void SettingsView::onRefreshPermissionsClicked()
{
    Core::AppStateManager::instance().refreshPermissions();
    refreshPermissions();
}

void SettingsView::onRevokePermissionsClicked()
{
    m_revokeConfirmation->show();
}

void SettingsView::onOpenScreenCaptureSettingsClicked()
{
    Services::PermissionService::instance().requestScreenCapturePermission();
}

void SettingsView::onOpenInputMonitoringSettingsClicked()
{
    Services::PermissionService::instance().requestInputMonitoringPermission();
    Core::AppStateManager::instance().refreshPermissions();
}

void SettingsView::onCancelRevokeClicked()
{
    m_revokeConfirmation->hide();
}

void SettingsView::onConfirmRevokeClicked()
{
    m_revokeConfirmation->hide();
    Services::PermissionService::instance().revokeScreenCapturePermission();
    m_restartNotice->show();
    Core::AppStateManager::instance().refreshPermissions();
}

void SettingsView::onRestartClicked()
{
    // quit() first asks every window to close and is cancelled when one stays open (a minimised
    // popover does); exit() ends the event loop whatever the windows do, and shutdown follows.
    QCoreApplication::exit(0);
}

} // namespace UI
