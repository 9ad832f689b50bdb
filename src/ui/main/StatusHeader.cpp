#include "ui/main/StatusHeader.h"

#include "core/SessionManager.h"
#include "ui/main/PlainLabel.h"
#include "ui/theme/ColorVariables.h"
#include "ui/widgets/ShownRefresh.h"

#include <QHBoxLayout>
#include <QLabel>

namespace UI {

namespace {

QString dotStyle(const QString &colour)
{
    return QStringLiteral("color: %1; font-size: 13px;").arg(colour);
}

} // namespace

StatusHeader::StatusHeader(QWidget *parent)
    : StatusHeader(Core::SessionManager::instance(), parent)
{
}

StatusHeader::StatusHeader(Core::SessionManager &engine, QWidget *parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_shownRefresh(new ShownRefresh(this, [this] { applyState(); }))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(6);

    m_dotLabel = plainLabel(QStringLiteral("●"), this);
    m_dotLabel->setObjectName(QStringLiteral("StatusHeader_DotLabel"));
    m_dotColour = Theme::mutedColor;
    m_dotLabel->setStyleSheet(dotStyle(m_dotColour));
    layout->addWidget(m_dotLabel);

    m_stateLabel = plainLabel(QStringLiteral("Not Tracking"), this);
    m_stateLabel->setObjectName(QStringLiteral("StatusHeader_StateLabel"));
    QFont stateFont = m_stateLabel->font();
    stateFont.setWeight(QFont::Medium);
    m_stateLabel->setFont(stateFont);
    layout->addWidget(m_stateLabel);

    layout->addStretch();

    auto *brand = plainLabel(QStringLiteral("Tembrix"), this);
    brand->setStyleSheet(QStringLiteral("color: %1; font-size: 11px;").arg(Theme::mutedColor));
    layout->addWidget(brand);

    connect(&m_engine, &Core::SessionManager::stateChanged, this, &StatusHeader::refresh);
    refresh();
}

StatusHeader::~StatusHeader() = default;

StatusHeader::State StatusHeader::stateFor(bool tracking, bool needsIdleDecision, bool idle,
                                           bool paused)
{
    if (!tracking)
        return { QStringLiteral("Not Tracking"), Theme::mutedColor };
    if (needsIdleDecision)
        return { QStringLiteral("Was Idle"), Theme::orangeColor };
    if (idle)
        return { QStringLiteral("Idle – Paused"), Theme::orangeColor };
    if (paused)
        return { QStringLiteral("Paused"), Theme::orangeColor };
    return { QStringLiteral("Tracking"), Theme::greenColor };
}

void StatusHeader::refresh()
{
    m_shownRefresh->request();
}

void StatusHeader::applyState()
{
    const State state = stateFor(m_engine.isTracking(), m_engine.needsIdleDecision(),
                                 m_engine.isIdle(), m_engine.isPaused());
    m_stateLabel->setText(state.text);
    // A style sheet set again re-polishes the label even when it reads the same.
    if (state.colour != m_dotColour) {
        m_dotColour = state.colour;
        m_dotLabel->setStyleSheet(dotStyle(m_dotColour));
    }
}

} // namespace UI
