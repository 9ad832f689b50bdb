#include "ui/main/TrackerAlert.h"

#include "core/AppStateManager.h"
#include "core/SessionManager.h"
#include "ui/main/ConfigFetch.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace UI {

TrackerAlert::TrackerAlert(Core::SessionManager &engine, QWidget *parent)
    : QFrame(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("Tracker_Alert"));
    setStyleSheet(QStringLiteral("#Tracker_Alert { border-radius: 8px; "
                                 "background-color: rgba(220, 60, 60, 0.12); }"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(8);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("Tracker_AlertText"));
    // Folder names and server texts are shown as they are.
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    layout->addWidget(m_text, 1);
    m_retryButton = new QPushButton(QStringLiteral("Retry"), this);
    m_retryButton->setObjectName(QStringLiteral("Tracker_AlertRetryButton"));
    m_retryButton->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_retryButton, 0, Qt::AlignVCenter);
    connect(m_retryButton, &QPushButton::clicked, this, [] { ConfigFetch::instance().start(); });

    auto &state = Core::AppStateManager::instance();
    connect(&m_engine, &Core::SessionManager::stateChanged, this, &TrackerAlert::refresh);
    connect(&state, &Core::AppStateManager::remoteConfigChanged, this, &TrackerAlert::refresh);
    connect(&state, &Core::AppStateManager::isAuthenticatedChanged, this, &TrackerAlert::refresh);
    connect(&ConfigFetch::instance(), &ConfigFetch::changed, this, &TrackerAlert::refresh);
    refresh();
}

void TrackerAlert::refresh()
{
    const QString storage = m_engine.storageWarning();
    if (!storage.isEmpty()) {
        m_text->setText(storage);
        m_retryButton->hide();
        show();
        return;
    }
    const auto &state = Core::AppStateManager::instance();
    if (!state.isAuthenticated() || state.remoteConfig() || m_engine.isTracking()) {
        hide();
        return;
    }
    const ConfigFetch &fetch = ConfigFetch::instance();
    QString text = QStringLiteral("Start is off until your company's settings are loaded.");
    if (fetch.isRunning())
        text += QStringLiteral(" Loading them…");
    else if (!fetch.lastFailure().isEmpty())
        text += QStringLiteral(" They could not be loaded: %1").arg(fetch.lastFailure());
    m_text->setText(text);
    m_retryButton->setVisible(true);
    m_retryButton->setEnabled(!fetch.isRunning());
    show();
}

} // namespace UI
