#pragma once

#include <QDateTime>
#include <QFont>
#include <QString>
#include <QWidget>

#include <optional>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;
class QVBoxLayout;

namespace Core {
class SessionManager;
}

namespace UI {

class HoverFlip;
class ShownRefresh;

// The Tracker tab: the user's control panel for the session engine. It shows one of four pages,
// chosen afresh on every refresh (permissions missing, unfinished session, start, active), with a
// notice above them while a session that crossed midnight may be restarted. It keeps no tracking
// state: every button calls the engine or the state holder, whose signals bring the view up to
// date; while a session runs unpaused that is every second, so a refresh only reads getters.
// Hidden, the view refreshes when next shown; shown, a refresh sets only what changed (the
// clock's text, not its style sheet or icons).
// The daily target is a local preference that only this view reads and writes. GUI thread only.
class TrackerView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrackerView)

public:
    // Follows Core::SessionManager::instance().
    explicit TrackerView(QWidget *parent = nullptr);
    explicit TrackerView(Core::SessionManager &engine, QWidget *parent = nullptr);
    ~TrackerView() override;

    // "just now", "5m ago", "3h ago", "2d ago": whole seconds from start to now, truncated.
    static QString relativeStartText(const QDateTime &start, const QDateTime &now);
    // "HH:MM:SS" of the truncated seconds; hours may take more than two digits.
    static QString formatHms(double seconds);
    // "HH:MM"; zero or less (or not a number) reads "00:00".
    static QString formatHm(double seconds);
    static QString targetLabelText(int targetSeconds);
    // Worked against target in whole percent, 0..100; a target of 0 or less counts as 1 s.
    static int progressPercent(int targetSeconds, double workedSeconds);
    // A total of 0 or less gives the default eight hours.
    static int targetSeconds(int hours, int minutes);

public Q_SLOTS:
    void refreshState();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildCrossedMidnightNotice();
    QWidget *buildPermissionsPage();
    QWidget *buildInterruptedPage();
    QWidget *buildIdlePage();
    QWidget *buildActivePage();
    // Builds a page on its first use and adds it to the stack.
    void ensurePage(QWidget *&page, QWidget *(TrackerView::*build)());
    QWidget *buildProgressCard();
    // Sets the progress bar's sheet for the palette and has the clock's colour set again.
    void applyProgressBarColours();
    // Sets the palette's colours of the midnight notice (its strip and detail text) and of the
    // permissions title once built.
    void applyTextColours();
    QLabel *makeIconDisc(const QString &glyph, QWidget *parent);
    void applyState();
    void refreshActivePage();

    void refreshGreeting();
    void setFittedText(QLabel *label, const QString &text, const QFont &font, int width);
    void rebuildTaskPicker();
    void showDailyTargetDialog();

    void onAppStateChanged();
    void onPaletteChanged();
    void onStartNewSessionClicked();
    void onLaterClicked();
    void onOpenSettingsClicked();
    void onCheckAgainClicked();
    void onResumeClicked();
    void onStartClicked();
    void onTaskSelected(int index);
    void onPauseResumeClicked();
    void onStopClicked();
    void onSetTargetClicked();

    Core::SessionManager &m_engine;

    QStackedWidget *m_pageStack = nullptr;
    QWidget *m_permissionsPage = nullptr;
    QWidget *m_interruptedPage = nullptr;
    QWidget *m_idlePage = nullptr;
    QWidget *m_activePage = nullptr;
    QWidget *m_crossedMidnightNotice = nullptr;
    QVBoxLayout *m_noticeRow = nullptr;
    QWidget *m_alert = nullptr;
    QFont m_greetingFont;
    QFont m_progressLineFont;

    // Start page.
    QLabel *m_greetingLabel = nullptr;
    QPushButton *m_startButton = nullptr;
    QComboBox *m_taskPicker = nullptr;
    QLabel *m_statusLabel = nullptr;
    // Permissions page.
    QLabel *m_screenRecordingStatus = nullptr;
    QLabel *m_inputMonitoringStatus = nullptr;
    // Unfinished-session page.
    QLabel *m_projectLabel = nullptr;
    QLabel *m_startedLabel = nullptr;
    // Crossed-midnight notice.
    QLabel *m_noticeDetailLabel = nullptr;
    // Active page.
    QLabel *m_taskLabel = nullptr;
    QLabel *m_timerLabel = nullptr;
    QLabel *m_progressLineLabel = nullptr;
    QLabel *m_activityIconLabel = nullptr;
    QLabel *m_activityPercentLabel = nullptr;
    QPushButton *m_pauseResumeButton = nullptr;
    QPushButton *m_stopButton = nullptr;
    HoverFlip *m_progressFlip = nullptr;
    QLabel *m_percentChip = nullptr;
    QProgressBar *m_progressBar = nullptr;
    QLabel *m_permissionsTitle = nullptr;
    QLabel *m_targetLabel = nullptr;
    QLabel *m_ratioChip = nullptr;

    // What the active page shows, so that a tick leaves the rest alone; empty until first set.
    std::optional<bool> m_shownPaused;
    std::optional<bool> m_shownActivity;
    QString m_shownProgressLine;
    QString m_greeting;
    bool m_fitting = false;

    ShownRefresh *m_shownRefresh = nullptr;
    int m_dailyTarget = 28800;
    QTimer *m_greetingTimer = nullptr;
    int m_greetingIndex = 0;
};

} // namespace UI
