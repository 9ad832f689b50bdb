#include "ui/main/ForceUpdateView.h"

#include "core/AppStateManager.h"
#include "networking/ReplyGuard.h"
#include "ui/main/PlainLabel.h"
#include "ui/theme/Theme.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace UI {

namespace {

QLabel *centredLabel(const QString &text, const char *property, bool wrap, QWidget *parent)
{
    auto *label = plainLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    label->setProperty(property, true);
    label->setWordWrap(wrap);
    return label;
}

} // namespace

ForceUpdateView::ForceUpdateView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ForceUpdate_Window"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(8);
    layout->addStretch();

    auto *icon = plainLabel(this);
    icon->setPixmap(Theme::icon(QStringLiteral("update"), Theme::orangeColor, 44).pixmap(44, 44));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);

    auto *title = centredLabel(QStringLiteral("Update Required"), "strong", false, this);
    QFont titleFont = title->font();
    titleFont.setWeight(QFont::Bold);
    titleFont.setPointSizeF(titleFont.pointSizeF() + 3);
    title->setFont(titleFont);
    layout->addWidget(title);

    layout->addWidget(centredLabel(QStringLiteral("Your app version is no longer supported."),
                                   "secondary", true, this));
    m_versionLabel = centredLabel(QString(), "muted", false, this);
    m_versionLabel->setObjectName(QStringLiteral("ForceUpdate_VersionLabel"));
    layout->addWidget(m_versionLabel);
    layout->addWidget(centredLabel(
            QStringLiteral(
                    "Tracking has been stopped. Any session in progress was saved and uploaded."),
            "muted", true, this));

    m_downloadButton = new QPushButton(QStringLiteral("Update Now"), this);
    m_downloadButton->setObjectName(QStringLiteral("ForceUpdate_DownloadButton"));
    m_downloadButton->setProperty("primary", true);
    m_downloadButton->setIcon(Theme::icon(QStringLiteral("update"), QStringLiteral("#ffffff"), 15));
    Theme::setButtonHeight(m_downloadButton, 42);
    m_downloadButton->setCursor(Qt::PointingHandCursor);
    connect(m_downloadButton, &QPushButton::clicked, this, &ForceUpdateView::openDownloadLink);
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(m_downloadButton);
    buttonRow->addStretch();
    layout->addLayout(buttonRow);

    layout->addStretch();
    refresh();
}

ForceUpdateView::~ForceUpdateView() = default;

void ForceUpdateView::refresh()
{
    const auto &state = Core::AppStateManager::instance();
    if (const std::optional<QString> version = state.requiredVersion()) {
        m_versionLabel->setText(QStringLiteral("Latest version: %1").arg(*version));
        m_versionLabel->setVisible(true);
    } else {
        m_versionLabel->clear();
        m_versionLabel->setVisible(false);
    }
    const std::optional<QUrl> url = state.downloadUrl();
    const bool haveUrl = url && Networking::ReplyGuard::isWebAddress(*url);
    m_downloadButton->setEnabled(haveUrl);
    m_downloadButton->setToolTip(
            haveUrl ? QString()
                    : QStringLiteral("No download link was provided — please contact your "
                                     "administrator."));
}

void ForceUpdateView::openDownloadLink()
{
    // The address comes from the server: any other scheme would hand a local file or another
    // program's link to the desktop's opener.
    const std::optional<QUrl> url = Core::AppStateManager::instance().downloadUrl();
    if (url && Networking::ReplyGuard::isWebAddress(*url))
        QDesktopServices::openUrl(*url);
}

} // namespace UI
