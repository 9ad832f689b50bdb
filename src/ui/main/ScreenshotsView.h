#pragma once

#include "models/ScreenshotReport.h"

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <optional>
#include <variant>

class QLabel;
class QNetworkAccessManager;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace UI {

// The Screenshots tab: one day of the service's screenshot report (summary cards, then one block
// per hour with its ten-minute segment cards and their thumbnails), with day navigation. The
// report is fetched on the global thread pool; several fetches may be in flight, and only a
// result whose date is still selected is applied, so the content always matches the date label.
// It loads on the first show, and again on a later show only when its result is older than
// 120 s or for another day. Images go through the view's own network manager. GUI thread only.
class ScreenshotsView final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ScreenshotsView)

public:
    // Blocks the calling pool thread; throws on failure as Services::fetchScreenshotReport does.
    using ReportFetch = std::function<Models::ScreenshotReport(const QDateTime &day)>;

    explicit ScreenshotsView(QWidget *parent = nullptr);
    // For tests: the report comes from fetch instead of the service.
    explicit ScreenshotsView(ReportFetch fetch, QWidget *parent = nullptr);
    ~ScreenshotsView() override;

    bool isViewingToday() const;
    // A load was started and its own result has not arrived.
    bool isLoading() const { return m_loading; }
    QDate selectedDate() const { return m_selectedDate; }

    // Steps through the full-size images modally; nothing for an empty list. parent must be a
    // ScreenshotsView: its network manager fetches the images.
    static void openViewer(QWidget *parent, const QString &title, const QList<QString> &urls);

    // The colour of an hour's bar for its activity rate in percent, and of a segment's bar for
    // the report's indicator colour.
    static QString hourBarColour(double activityRate);
    static QString segmentBarColour(const QString &indicatorColor);

public Q_SLOTS:
    void load();

protected:
    void showEvent(QShowEvent *event) override;

private Q_SLOTS:
    void onTodayClicked();
    void onPrevDayClicked();
    void onNextDayClicked();
    void onTryAgainClicked();

private:
    void loadDone(const QDate &date, const std::variant<Models::ScreenshotReport, QString> &result);
    void clearContent();
    void showLoading();
    void showError(const QString &message);
    void showEmpty();
    void renderReport(const Models::ScreenshotReport &report);
    void renderSummaryCards(const Models::ScreenshotReport &report);
    void renderHourBlock(const Models::ScreenshotReport::Hour &hour);
    QWidget *makeStatCard(const QString &icon, const QString &title, const QString &value,
                          const QString &colour, double percent);
    QWidget *makeSegmentCard(const Models::ScreenshotReport::Segment &segment, QWidget *parent);

    ReportFetch m_fetch;
    QDate m_selectedDate;
    std::optional<Models::ScreenshotReport> m_cachedReport;
    QString m_errorMessage;
    bool m_loading = false;
    QDate m_lastLoadedDate;
    QElapsedTimer m_lastLoadTimer;
    QPushButton *m_todayButton = nullptr;
    QLabel *m_dateLabel = nullptr;
    QPushButton *m_prevDayButton = nullptr;
    QPushButton *m_nextDayButton = nullptr;
    QScrollArea *m_scrollArea = nullptr;
    QWidget *m_content = nullptr;
    QVBoxLayout *m_contentLayout = nullptr;
    QNetworkAccessManager *m_imageManager = nullptr;
};

} // namespace UI
