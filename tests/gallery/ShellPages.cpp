#include "ShellPages.h"

#include "core/AppStateManager.h"
#include "core/ClockTestHooks.h"
#include "core/SessionManager.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"
#include "ui/main/ForceUpdateView.h"
#include "ui/main/ScreenshotsView.h"
#include "ui/main/SettingsView.h"
#include "ui/main/StatusHeader.h"
#include "ui/main/SummaryView.h"
#include "ui/main/TrackerView.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {

const QDateTime kMorning
        = QDateTime::fromString(QStringLiteral("2025-03-03T08:00:00Z"), Qt::ISODate);

std::unique_ptr<Storage::SQLiteStore> store;
std::unique_ptr<Core::SessionManager> manager;

void releaseEngine()
{
    manager.reset();
    store.reset();
}

// One engine for the whole run, gone with the application object; every page sets the state it
// shows afresh.
Core::SessionManager &engine()
{
    if (!manager) {
        qAddPostRoutine(&releaseEngine);
        Core::ClockTestHooks::set(kMorning);
        store = std::make_unique<Storage::SQLiteStore>();
        manager = std::make_unique<Core::SessionManager>(Core::SessionManager::TestInstance());
        manager->initialize(store.get(), nullptr);
    }
    return *manager;
}

void configure(bool permissions)
{
    auto &state = Core::AppStateManager::instance();
    state.resetForSignOut();
    state.setHasRequiredPermissions(permissions);
    Models::RemoteConfig config;
    config.projects = { { QStringLiteral("p1"), QStringLiteral("Quarterly report") },
                        { QStringLiteral("p2"), QStringLiteral("Design review") } };
    state.setRemoteConfig(config);
    if (engine().isTracking())
        engine().stopTracking();
}

QWidget *withHeader(QWidget *tracker)
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new UI::StatusHeader(engine(), page));
    tracker->setParent(page);
    layout->addWidget(tracker, 1);
    return page;
}

} // namespace

QWidget *buildTrackerStartPage()
{
    configure(true);
    engine().setSelectedProjectId(QStringLiteral("p1"));
    return withHeader(new UI::TrackerView(engine()));
}

QWidget *buildTrackerActivePage()
{
    configure(true);
    engine().startTracking({ QStringLiteral("p1"), QStringLiteral("Quarterly report") });
    // Two and a quarter hours into the day, one tick at a time as the engine counts.
    Core::ClockTestHooks::advance(qint64(8100) * 1000);
    QMetaObject::invokeMethod(&engine(), "onTick", Qt::DirectConnection);
    return withHeader(new UI::TrackerView(engine()));
}

QWidget *buildTrackerMidnightPage()
{
    configure(true);
    auto *tracker = new UI::TrackerView(engine());
    // The engine offers the task only while it announces the day change, before it starts the
    // new session: shown here as it looks in that moment.
    tracker->findChild<QWidget *>(QStringLiteral("Tracker_CrossedMidnightNotice"))->show();
    tracker->findChild<QLabel *>(QStringLiteral("Tracker_NoticeDetailLabel"))
            ->setText(QStringLiteral("Task: Quarterly report"));
    return withHeader(tracker);
}

QWidget *buildTrackerPausedPage()
{
    QWidget *page = buildTrackerActivePage();
    engine().pause();
    return page;
}

QWidget *buildTrackerPermissionsPage()
{
    configure(false);
    return withHeader(new UI::TrackerView(engine()));
}

QWidget *buildForceUpdatePage()
{
    configure(true);
    Models::RemoteConfig config;
    config.latestClientVersionLinux = QStringLiteral("2.0.0");
    config.clientDownloadUrlLinux = QStringLiteral("https://downloads.example/clockwarden");
    Core::AppStateManager::instance().setRemoteConfig(config);
    return new UI::ForceUpdateView;
}

QWidget *buildSummaryPage()
{
    configure(true);
    store->clearAll();
    const QDateTime morning = QDate::currentDate().startOfDay().addSecs(8 * 3600);
    const QList<std::pair<QString, int>> finished{ { QStringLiteral("Quarterly report"), 5400 },
                                                   { QStringLiteral("Design review"), 2700 },
                                                   { QString(), 900 } };
    for (qsizetype i = 0; i < finished.size(); ++i) {
        const QDateTime start = morning.addSecs(i * 7200);
        Models::Session session;
        session.id = QUuid::createUuid();
        session.projectName = finished.at(i).first;
        session.intervals = { Models::Interval(QUuid::createUuid(), start.toUTC(),
                                               start.addSecs(finished.at(i).second).toUTC()) };
        session.status = Models::SessionStatus::completed;
        session.reportedTotalSeconds = finished.at(i).second;
        store->appendSessionHistory(session);
    }
    engine().startTracking({ QStringLiteral("p1"), QStringLiteral("Quarterly report") });
    Core::ClockTestHooks::advance(qint64(1500) * 1000);
    QMetaObject::invokeMethod(&engine(), "onTick", Qt::DirectConnection);
    auto *view = new UI::SummaryView(engine(), store.get());
    // The gallery grabs at once: let the load land first.
    while (view->isLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return withHeader(view);
}

QWidget *buildScreenshotsPage()
{
    configure(true);
    const auto fetch = [](const QDateTime &) {
        Models::ScreenshotReport report;
        report.summary.totalSeconds = 19800;
        report.summary.totalSecondsFormatted = QStringLiteral("5h 30m");
        report.summary.activityRate = 62.5;
        report.summary.mouseMovements = 1234567;
        for (int hour = 9; hour < 11; ++hour) {
            Models::ScreenshotReport::Hour block;
            block.hour = hour;
            block.stats.activityRate = hour == 9 ? 72 : 41;
            for (int i = 0; i < (hour == 9 ? 6 : 4); ++i) {
                Models::ScreenshotReport::Segment segment;
                segment.segmentNumberFrom
                        = QStringLiteral("%1:%2").arg(hour).arg(i * 10, 2, 10, QLatin1Char('0'));
                segment.segmentNumberTo = QStringLiteral("%1:%2").arg(hour).arg(i * 10 + 9, 2, 10,
                                                                                QLatin1Char('0'));
                segment.indicatorColor
                        = i % 3 == 0 ? QStringLiteral("orange") : QStringLiteral("green");
                segment.stats.activityRate = 30 + 12 * i;
                if (i != 2)
                    segment.screenshots.append(Models::ScreenshotReport::Screenshot());
                block.segments.append(segment);
            }
            report.hours.append(block);
        }
        return report;
    };
    auto *view = new UI::ScreenshotsView(fetch);
    view->load();
    while (view->isLoading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return withHeader(view);
}

QWidget *buildSettingsPage()
{
    configure(true);
    Storage::saveUserProfile(QStringLiteral("Ada Lovelace"), QStringLiteral("Acme Works"));
    Core::AppStateManager::instance().setIsAuthenticated(true);
    return new UI::SettingsView(engine());
}

QWidget *buildSettingsLowerPage()
{
    QWidget *view = buildSettingsPage();
    // Scrolled once the window has its size, to show the last cards.
    QTimer::singleShot(0, view, [view] {
        if (auto *scroll = view->findChild<QScrollArea *>())
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    });
    return view;
}
