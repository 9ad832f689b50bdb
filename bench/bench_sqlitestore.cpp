// The upload queue with a large backlog in a database file: enqueueing, picking the next due
// task, and marking and removing a task. The pick must stay an index walk, so its time should
// hardly grow with the backlog.

#include "storage/Paths.h"
#include "storage/SQLiteStore.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QDateTime now = QDateTime(QDate(2025, 3, 4), QTime(9, 0), Qt::UTC);

Models::UploadTask screenshotTask(int index)
{
    return Models::UploadTask(
            QUuid::createUuid(), QUuid::createUuid(), Models::UploadTaskType::screenshot,
            u"/captures/acme/shot-%1.jpg"_s.arg(index), std::nullopt, 0, now.addSecs(-index),
            Models::UploadTaskStatus::pending, Models::UploadTask::screenshotPriority);
}

// One database file per backlog size, filled once through a second connection in a single
// transaction (the store commits every statement on its own, which would take minutes here).
class Backlog final
{
public:
    explicit Backlog(int size)
    {
        qputenv("XDG_DATA_HOME", m_dir.path().toLocal8Bit());
        m_store = std::make_unique<Storage::SQLiteStore>();
        m_store->setDomainKey(u"acme.example.com"_s);
        fill(size);
    }

    Storage::SQLiteStore &store() { return *m_store; }

private:
    void fill(int size)
    {
        const QString name = u"bench_fill_%1"_s.arg(size);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
            db.setDatabaseName(Platform::Paths::databasePath());
            if (!db.open())
                qFatal("cannot open the benchmark database");
            db.transaction();
            QSqlQuery insert(db);
            insert.prepare(u"INSERT INTO upload_queue (id, domain_key, session_id, type, "
                           "file_path, json_payload, retry_count, created_at, status, priority, "
                           "next_attempt_at) VALUES (?, 'acme.example.com', ?, ?, ?, ?, 0, ?, "
                           "'pending', ?, 0);"_s);
            for (int i = 0; i < size; ++i) {
                // A backlog after a long time offline: mostly screenshots, a segment task and a
                // few session starts and heartbeats.
                const bool session = i % 50 == 0;
                insert.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
                insert.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
                insert.addBindValue(session ? u"heartbeat"_s : u"screenshot"_s);
                insert.addBindValue(session ? QVariant(QMetaType::fromType<QString>())
                                            : QVariant(u"/captures/acme/%1.jpg"_s.arg(i)));
                insert.addBindValue(session ? QVariant(QByteArray("{}"))
                                            : QVariant(QMetaType::fromType<QByteArray>()));
                insert.addBindValue(double(now.addSecs(-size + i).toMSecsSinceEpoch()) / 1000.0);
                insert.addBindValue(session ? 100 : 10);
                if (!insert.exec())
                    qFatal("fill failed: %s", qPrintable(insert.lastError().text()));
            }
            db.commit();
            if (size == 100000)
                printPlan(db);
        }
        QSqlDatabase::removeDatabase(name);
    }

    static void printPlan(const QSqlDatabase &db)
    {
        QSqlQuery plan(db);
        plan.exec(u"EXPLAIN QUERY PLAN SELECT id, session_id, type, file_path, json_payload, "
                  "retry_count, created_at, status, priority FROM upload_queue WHERE domain_key "
                  "= 'acme.example.com' AND status IN ('pending', 'failed') AND next_attempt_at "
                  "<= 1741078800.0 ORDER BY priority DESC, created_at ASC LIMIT 1;"_s);
        while (plan.next())
            qInfo().noquote() << "pick plan:" << plan.value(3).toString();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<Storage::SQLiteStore> m_store;
};

// Released before the application object goes, at the end of main.
std::map<int, std::unique_ptr<Backlog>> backlogs;

Backlog &backlog(int size)
{
    std::unique_ptr<Backlog> &entry = backlogs[size];
    if (!entry)
        entry = std::make_unique<Backlog>(size);
    return *entry;
}

void enqueue(benchmark::State &state)
{
    Storage::SQLiteStore &store = backlog(int(state.range(0))).store();
    int index = 0;
    for (auto _ : state) {
        const Models::UploadTask task = screenshotTask(index++);
        store.enqueueUpload(task);
        state.PauseTiming();
        store.removeUpload(task.id); // keep the backlog at its size
        state.ResumeTiming();
    }
}

void nextDueUpload(benchmark::State &state)
{
    Storage::SQLiteStore &store = backlog(int(state.range(0))).store();
    for (auto _ : state)
        benchmark::DoNotOptimize(store.nextDueUpload(now));
}

void markInProgressAndRemove(benchmark::State &state)
{
    Storage::SQLiteStore &store = backlog(int(state.range(0))).store();
    int index = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const Models::UploadTask task = screenshotTask(index++);
        store.enqueueUpload(task);
        state.ResumeTiming();
        store.markUploadInProgress(task.id);
        store.removeUpload(task.id);
    }
}

BENCHMARK(enqueue)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(nextDueUpload)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(markInProgressAndRemove)
        ->Arg(1000)
        ->Arg(10000)
        ->Arg(100000)
        ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    backlogs.clear();
    return 0;
}
