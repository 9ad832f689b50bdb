// The Summary tab's refresh as it runs every second while tracking: the week's load on the pool
// and the rebuild of the content on the GUI thread, over a database file holding a week of 60
// finished sessions and 2,016 ten-minute activity segments.

#include "FakePlatformIntegration.h"

#include "core/ClockTestHooks.h"
#include "core/SessionManager.h"
#include "storage/Preferences.h"
#include "storage/SQLiteStore.h"
#include "ui/main/SummaryView.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct Fixture
{
    Fixture()
    {
        qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        qputenv("XDG_STATE_HOME", dir.path().toLocal8Bit());
        Core::ClockTestHooks::set(QDateTime::currentDateTimeUtc());
        store = std::make_unique<Storage::SQLiteStore>();
        store->clearAll();
        const QDate monday = QDate::currentDate().addDays(-(QDate::currentDate().dayOfWeek() - 1));
        for (int i = 0; i < 60; ++i) {
            const QDateTime start
                    = monday.addDays(i % 7).startOfDay().addSecs(8 * 3600 + (i / 7) * 1800);
            Models::Session session;
            session.id = QUuid::createUuid();
            session.projectName = QStringLiteral("Project %1").arg(i % 5);
            session.intervals = { Models::Interval(QUuid::createUuid(), start.toUTC(),
                                                   start.addSecs(1500).toUTC()) };
            session.status = Models::SessionStatus::completed;
            session.reportedTotalSeconds = 1500;
            store->appendSessionHistory(session);
        }
        for (int day = 0; day < 14; ++day) {
            const QString date = monday.addDays(day - 7).toString(Qt::ISODate);
            for (int number = 0; number < 144; ++number)
                store->upsertActivitySegment(date, number, 400, 500, 120, 80);
        }
        engine = std::make_unique<Core::SessionManager>(Core::SessionManager::TestInstance());
        engine->initialize(store.get(), &platform);
        engine->startTracking({ QStringLiteral("p1"), QStringLiteral("Design") });
        view = std::make_unique<UI::SummaryView>(*engine, store.get());
        view->resize(460, 640);
        view->show();
        view->findChild<QPushButton *>(QStringLiteral("Summary_WeekButton"))->click();
        settle();
    }

    ~Fixture()
    {
        view.reset();
        engine.reset();
        store.reset();
        Core::ClockTestHooks::reset();
    }

    void settle()
    {
        while (view->isLoading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    QTemporaryDir dir;
    TestSupport::FakePlatformIntegration platform;
    std::unique_ptr<Storage::SQLiteStore> store;
    std::unique_ptr<Core::SessionManager> engine;
    std::unique_ptr<UI::SummaryView> view;
};

void BM_SummaryWeekRefresh(benchmark::State &state)
{
    Fixture fixture;
    for (auto _ : state) {
        fixture.view->loadData();
        fixture.settle();
    }
}
BENCHMARK(BM_SummaryWeekRefresh)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
