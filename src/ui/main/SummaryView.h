#pragma once

#include "storage/SQLiteStore.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QWidget>

#include <utility>

class QLayout;
class QPushButton;

namespace Core {
class SessionManager;
}

namespace UI {

// The Summary tab: worked time, session count and average activity of today or this week, and the
// range's finished sessions newest first, with the running session as a last row. Finished
// sessions come from the store, read on the global thread pool; requests made while a load runs
// collapse into one further load, so the once-a-second stateChanged costs at most one load at a
// time. Every render rebuilds the content from the last load. GUI thread only.
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

    void onLoaded(const Rows &rows, double averageActivity);
    void render();
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
    Scope m_scope = Scope::Today;
    double m_averageActivity = 0.0;
    Rows m_rows;
    bool m_loading = false;
    bool m_reloadPending = false;
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
