#include "ui/main/TrackerView.h"

#include "core/AppStateManager.h"
#include "core/Clock.h"
#include "core/SessionManager.h"
#include "services/tracking/PermissionService.h"
#include "ui/main/Greetings.h"
#include "ui/main/TrackerAlert.h"
#include "ui/theme/Theme.h"
#include "ui/widgets/ShownRefresh.h"
#include "ui/widgets/TextFitting.h"

#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace UI {

namespace {

constexpr int kGreetingIntervalMs = 600000;
constexpr int kGreetingWidth = 185;

// A two-line text broken at the space that makes its longer line shortest, so the second line is
// never one lonely word; the text unchanged when no single break fits both lines into width.
QString balancedTwoLines(const QString &text, const QFont &font, int width)
{
    const QFontMetrics metrics(font);
    QString best = text;
    int bestLonger = width + 1;
    for (qsizetype at = text.indexOf(u' '); at > 0; at = text.indexOf(u' ', at + 1)) {
        const int longer = std::max(metrics.horizontalAdvance(text.left(at)),
                                    metrics.horizontalAdvance(text.mid(at + 1)));
        if (longer < bestLonger) {
            bestLonger = longer;
            best = text.left(at) + u'\n' + text.mid(at + 1);
        }
    }
    return best;
}
constexpr int kStatusIconSize = 16;

QPixmap statusIcon(bool granted)
{
    return Theme::icon(granted ? QStringLiteral("check-circle") : QStringLiteral("xmark-circle"),
                       granted ? Theme::greenColor : Theme::dangerColor, kStatusIconSize)
            .pixmap(kStatusIconSize, kStatusIconSize);
}

} // namespace

TrackerView::TrackerView(QWidget *parent)
    : TrackerView(Core::SessionManager::instance(), parent)
{
}

TrackerView::TrackerView(Core::SessionManager &engine, QWidget *parent)
    : QWidget(parent)
    , m_engine(engine)
    , m_shownRefresh(new ShownRefresh(this, [this] { applyState(); }))
    , m_greetingTimer(new QTimer(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildCrossedMidnightNotice();
    // Lined up with the pages' cards. A layout keeps its margins even when every item in it is
    // hidden, so the top margin is there only while the notice or the alert shows.
    m_noticeRow = new QVBoxLayout;
    m_noticeRow->setContentsMargins(14, 0, 14, 0);
    m_noticeRow->setSpacing(8);
    m_noticeRow->addWidget(m_crossedMidnightNotice);
    m_alert = new TrackerAlert(m_engine, this);
    m_noticeRow->addWidget(m_alert);
    layout->addLayout(m_noticeRow);
    m_crossedMidnightNotice->installEventFilter(this);
    m_alert->installEventFilter(this);

    m_pageStack = new QStackedWidget(this);
    layout->addWidget(m_pageStack, 1);
    // The first page added is shown, and so polished and laid out, at once: the idle page, the one
    // a start normally opens on. The other pages are built when first needed (see ensurePage).
    m_idlePage = buildIdlePage();
    m_pageStack->addWidget(m_idlePage);
    applyTextColours();

    m_greetingTimer->setInterval(kGreetingIntervalMs);
    connect(m_greetingTimer, &QTimer::timeout, this, &TrackerView::refreshGreeting);
    m_greetingTimer->start();
    refreshGreeting();

    auto &state = Core::AppStateManager::instance();
    connect(&m_engine, &Core::SessionManager::stateChanged, this, &TrackerView::refreshState);
    connect(&m_engine, &Core::SessionManager::crossDayDetected, this, &TrackerView::refreshState);
    connect(&m_engine, &Core::SessionManager::interruptedSessionChanged, this,
            &TrackerView::refreshState);
    connect(&state, &Core::AppStateManager::hasRequiredPermissionsChanged, this,
            &TrackerView::refreshState);
    connect(&state, &Core::AppStateManager::remoteConfigChanged, this,
            &TrackerView::onAppStateChanged);
    connect(&state, &Core::AppStateManager::forceClientUpdateChanged, this,
            &TrackerView::refreshState);
    connect(Theme::Notifier::instance(), &Theme::Notifier::paletteChanged, this,
            &TrackerView::onPaletteChanged);

    rebuildTaskPicker();
    // The page the first show needs is chosen now, before the show polishes a page.
    applyState();
}

TrackerView::~TrackerView() = default;

void TrackerView::ensurePage(QWidget *&page, QWidget *(TrackerView::*build)())
{
    // Most starts never show these pages, and building them is a good part of the view's cost.
    if (page)
        return;
    page = (this->*build)();
    m_pageStack->addWidget(page);
}

void TrackerView::refreshState()
{
    m_shownRefresh->request();
}

bool TrackerView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FontChange && !m_fitting
        && (watched == m_greetingLabel || watched == m_progressLineLabel)) {
        // A style sheet polishes a label again (a new palette, the view moved into the tabs) with
        // the font it was built with: the fitted size is gone, and a shrunk two-line text would
        // take three. It is fitted again.
        if (watched == m_greetingLabel)
            setFittedText(m_greetingLabel, m_greeting, m_greetingFont, kGreetingWidth);
        else
            setFittedText(m_progressLineLabel, m_shownProgressLine, m_progressLineFont,
                          m_progressLineLabel->maximumWidth());
    } else if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) {
        const bool shown = !m_crossedMidnightNotice->isHidden() || !m_alert->isHidden();
        m_noticeRow->setContentsMargins(14, shown ? 14 : 0, 14, 0);
    }
    return QWidget::eventFilter(watched, event);
}

void TrackerView::applyState()
{
    const std::optional<Models::Project> offer = m_engine.midnightResumeOffer();
    m_crossedMidnightNotice->setVisible(offer.has_value());
    if (offer)
        m_noticeDetailLabel->setText(QStringLiteral("Task: %1").arg(offer->name));

    const auto &state = Core::AppStateManager::instance();
    if (!state.hasRequiredPermissions()) {
        ensurePage(m_permissionsPage, &TrackerView::buildPermissionsPage);
        const auto &permissions = Services::PermissionService::instance();
        m_screenRecordingStatus->setPixmap(statusIcon(permissions.hasScreenCapturePermission()));
        m_inputMonitoringStatus->setPixmap(statusIcon(permissions.hasInputMonitoringPermission()));
        m_pageStack->setCurrentWidget(m_permissionsPage);
        return;
    }

    if (const std::optional<Models::Session> interrupted = m_engine.interruptedSession()) {
        ensurePage(m_interruptedPage, &TrackerView::buildInterruptedPage);
        m_projectLabel->setText(interrupted->projectName);
        if (!interrupted->intervals.isEmpty()) {
            m_startedLabel->setText(
                    QStringLiteral("Started %1")
                            .arg(relativeStartText(interrupted->intervals.first().startedAt,
                                                   Core::Clock::nowUtc())));
        }
        m_pageStack->setCurrentWidget(m_interruptedPage);
        return;
    }

    if (!m_engine.isTracking()) {
        const QString message = m_engine.statusMessage();
        m_statusLabel->setText(QStringLiteral("ℹ %1").arg(message));
        m_statusLabel->setVisible(!message.isEmpty());
        m_startButton->setEnabled(state.remoteConfig().has_value() && !state.forceClientUpdate());
        m_pageStack->setCurrentWidget(m_idlePage);
        return;
    }

    refreshActivePage();
}

QString TrackerView::relativeStartText(const QDateTime &start, const QDateTime &now)
{
    const qint64 seconds = start.secsTo(now);
    if (seconds < 60)
        return QStringLiteral("just now");
    if (seconds < 3600)
        return QStringLiteral("%1m ago").arg(seconds / 60);
    if (seconds < 86400)
        return QStringLiteral("%1h ago").arg(seconds / 3600);
    return QStringLiteral("%1d ago").arg(seconds / 86400);
}

void TrackerView::refreshGreeting()
{
    m_greeting = Greetings::randomStartLine();
    if (m_greetingLabel)
        setFittedText(m_greetingLabel, m_greeting, m_greetingFont, kGreetingWidth);
    m_greetingIndex = Greetings::randomIndex(int(Greetings::progressLines().size()));
}

void TrackerView::setFittedText(QLabel *label, const QString &text, const QFont &font, int width)
{
    const QScopedValueRollback fitting(m_fitting, true);
    // Measured in the weight the application's style sheet draws the label with.
    label->ensurePolished();
    QFont measured = font;
    measured.setWeight(label->font().weight());
    const FittedText fitted = fitTextToTwoLines(text, measured, width, 10.0);
    label->setFont(fitted.font);
    const bool whole = fitted.text == text;
    label->setText(whole && fitted.lineCount == 2 ? balancedTwoLines(text, fitted.font, width)
                                                  : fitted.text);
}

void TrackerView::rebuildTaskPicker()
{
    const QString selected = m_engine.selectedProjectId();
    // A rebuild must never reach onTaskSelected: the engine keeps the id it has.
    const QSignalBlocker blocker(m_taskPicker);
    m_taskPicker->clear();
    m_taskPicker->addItem(QStringLiteral("No task"), QString());
    for (const Models::Project &project : Core::AppStateManager::instance().projects())
        m_taskPicker->addItem(project.name, project.id);
    int current = 0;
    if (!selected.isEmpty()) {
        const int found = m_taskPicker->findData(selected, Qt::UserRole, Qt::MatchExactly);
        if (found >= 0)
            current = found;
    }
    m_taskPicker->setCurrentIndex(current);
}

void TrackerView::onAppStateChanged()
{
    rebuildTaskPicker();
    // The page the first show needs is chosen now, before the show polishes a page.
    applyState();
}

void TrackerView::onPaletteChanged()
{
    const QList<QLabel *> labels = findChildren<QLabel *>();
    for (QLabel *label : labels) {
        const QVariant glyph = label->property("glyph");
        if (glyph.isValid())
            label->setPixmap(Theme::icon(glyph.toString(), Theme::brandColor, 18).pixmap(18, 18));
    }
    m_shownActivity.reset();
    applyTextColours();
    if (m_progressBar)
        applyProgressBarColours();
    refreshState();
}

void TrackerView::onStartNewSessionClicked()
{
    const std::optional<Models::Project> offer = m_engine.midnightResumeOffer();
    m_engine.dismissMidnightResumeOffer();
    if (offer)
        m_engine.startTracking(*offer);
    // Dismissing emits nothing, and a start the engine refuses may change nothing either.
    refreshState();
}

void TrackerView::onLaterClicked()
{
    m_engine.dismissMidnightResumeOffer();
    refreshState();
}

void TrackerView::onOpenSettingsClicked()
{
    Core::AppStateManager::instance().setPendingMainTab(3);
}

void TrackerView::onCheckAgainClicked()
{
    Core::AppStateManager::instance().refreshPermissions();
}

void TrackerView::onResumeClicked()
{
    m_engine.resumeInterruptedSession();
}

void TrackerView::onStartClicked()
{
    const QString selected = m_engine.selectedProjectId();
    const QList<Models::Project> projects = Core::AppStateManager::instance().projects();
    for (const Models::Project &project : projects) {
        if (project.id == selected) {
            m_engine.startTracking(project);
            return;
        }
    }
    m_engine.startTrackingWithoutProject();
}

void TrackerView::onTaskSelected(int index)
{
    if (index < 0 || index >= m_taskPicker->count())
        return;
    m_engine.setSelectedProjectId(m_taskPicker->itemData(index, Qt::UserRole).toString());
}

void TrackerView::onPauseResumeClicked()
{
    if (m_engine.isPaused())
        m_engine.resumeTracking();
    else
        m_engine.pause();
}

void TrackerView::onStopClicked()
{
    m_engine.stopTracking(QStringLiteral("Session ended"));
}

} // namespace UI
