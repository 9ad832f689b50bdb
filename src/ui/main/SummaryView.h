#pragma once

#include "storage/SQLiteStore.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>
#include <utility>

class QLabel;
class QLayout;
class QPushButton;

namespace Core {
class SessionManager;
}

namespace UI {

class ShownRefresh;

// The Summary tab: worked time, session count and average activity of today or this week, and the
// range's finished sessions newest first, with the running session as a last row. Finished
// sessions come from the store, read on the global thread pool; requests made while a load runs
// collapse into one further load. Hidden, the view neither loads nor renders on the engine's
// once-a-second stateChanged: it loads only when a session starts, pauses or ends or the day
// turns, and renders when next shown. A render rebuilds the content only when its rows, range or
// palette changed, and otherwise sets the texts that count the running session. GUI thread only.
class SummaryView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SummaryView)

public:
    enum class Scope : int { Today = 0, Week = 1 };

    // Follows Core::SessionManager::instance() over Storage::SQLiteStore::instance().
    explicit SummaryView(QWidget *parent = nullptr);
    SummaryView(Core::SessionManager &engine, Storage::SQLiteStore *store,
                QWidget *parent = nullptr);
    ~SummaryView() override;

    // Loads started so far, pending ones not counted.
    int loadCount() const { return m_loadCount; }
    bool isLoading() const { return m_loading; }

public Q_SLOTS:
    void loadData();
    void onSessionStateChanged();

private:
    using Rows = QList<Storage::SQLiteStore::SessionSummaryRow>;

    // What decides the content's widgets; the totals' texts and the ongoing duration are not part.
    struct Shape
    {
        Scope scope = Scope::Today;
        Rows rows;
        bool ongoing = false;
        QString ongoingProject;
        QDateTime ongoingStart;
        friend bool operator==(const Shape &, const Shape &) = default;
    };
    // What the store's rows follow: a session starting, pausing or ending, or the day turning.
    struct SessionKey
    {
        bool tracking = false;
        bool paused = false;
        QUuid sessionId;
        QDate day;
        friend bool operator==(const SessionKey &, const SessionKey &) = default;
    };
    SessionKey sessionKey() const;

    void onLoaded(Scope scope, const Rows &rows, double averageActivity);
    void render();
    void rebuild(const Shape &shape);
    void setLiveTexts(int count, double seconds);
    void addTotals(int count, double seconds, double average);
    QWidget *makeStatCard(const QString &icon, const QString &title, const QString &value,
                          const QString &name);
    void addTable(bool ongoing);
    void addEmptyCard();

    Core::SessionManager &m_engine;
    Storage::SQLiteStore *m_store = nullptr;
    QPushButton *m_todayButton = nullptr;
    QPushButton *m_weekButton = nullptr;
    QWidget *m_content = nullptr;
    ShownRefresh *m_shownRefresh = nullptr;
    // Set by a rebuild; null while the content holds no such label.
    QLabel *m_totalValue = nullptr;
    QLabel *m_sessionsValue = nullptr;
    QLabel *m_activityValue = nullptr;
    QLabel *m_ongoingElapsed = nullptr;
    std::optional<Shape> m_shape;
    SessionKey m_loadedKey;
    Scope m_scope = Scope::Today;
    // The range of the stored rows.
    Scope m_loadedScope = Scope::Today;
    double m_averageActivity = 0.0;
    Rows m_rows;
    bool m_loading = false;
    bool m_reloadPending = false;
    bool m_loaded = false;
    int m_loadCount = 0;
};

// [start, end) of the scope in the machine's local time: the day of today, or Monday 00:00 of
// today's week to the next Monday.
std::pair<QDateTime, QDateTime> summaryRange(SummaryView::Scope scope, const QDate &today);
std::pair<QDateTime, QDateTime> summaryRange(SummaryView::Scope scope);
// "42m" below an hour, else "3h 5m"; seconds truncate.
QString formatDuration(double seconds);
// Empties the layout, deleting its widgets at once and its sub-layouts' too; nothing for none.
void clearLayout(QLayout *layout);

} // namespace UI
