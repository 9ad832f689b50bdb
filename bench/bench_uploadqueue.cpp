// The upload queue drained against the HR service's stand-in, which runs as its own program so that
// this process's CPU time is the client's alone.
//
// Each runs over plain HTTP and, as ...Tls, over HTTPS with the stand-in's certificate trusted
// (the service itself is https only).
//
// drainBacklog/N: N tasks (a quarter each of session starts, heartbeats, segment batches of ten
// rows and 2 KiB screenshots) worked off on a thread of its own with queue passes run back to back,
// without the worker's 30 s wait between passes of 20. Counters: requests per second and client CPU
// per request.
//
// Counted CPU includes writing the client's request lines to the application log, as in the
// program.
//
// curlBaseline/N: the same number of small POSTs with a bearer header sent by curl, one process
// on one kept-alive connection, against the same stand-in: curl's CPU per request, the yardstick
// for cpu_us_per_req. curl writes nothing to a log. Over HTTPS curl trusts the certificate with
// --cacert.
//
// The "connections" counter is the number of connections the stand-in saw: one unless a client
// opened new ones, in which case handshakes are part of the CPU counted.
//
// breakerOpenIdle: the real worker with the breaker held open by a storm of 503 answers; the
// process CPU over a 10 s window, which must stay near zero since the worker sleeps.

#include "ApiClientFixture.h"
#include "FakeHrServer.h"
#include "TestCertificate.h"

#include "networking/APIClient.h"
#include "networking/ApiEndpoint.h"
#include "networking/NetworkMonitor.h"
#include "services/server/AuthNotifications.h"
#include "services/server/UploadCircuitBreaker.h"
#include "services/server/UploadService.h"
#include "services/server/UploadServiceTestHooks.h"
#include "storage/Log.h"
#include "storage/Paths.h"
#include "storage/SQLiteStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <ctime>
#include <memory>

#include <sys/resource.h>

using namespace Qt::StringLiterals;
using Services::UploadService;
using Services::UploadServiceTestHooks;
using Transport = TestSupport::FakeHrServer::Transport;

namespace {

double processCpuSeconds()
{
    timespec spec{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &spec);
    return double(spec.tv_sec) + double(spec.tv_nsec) / 1e9;
}

// CPU of the children waited for so far.
double childrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval &value) {
        return double(value.tv_sec) + double(value.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// What the stand-in logged since its log was last cleared.
struct Tally
{
    int requests = 0;
    int connections = 0;
};

// The stand-in program, its base URL and a signed-in token store pointing at it.
class Stand final
{
public:
    explicit Stand(Transport transport)
    {
        m_process.setProgram(QString::fromLocal8Bit(CLOCKWARDEN_FAKE_HR_SERVER));
        if (transport == Transport::Https) {
            m_process.setArguments({ u"--tls"_s, u"--write-certificate"_s, certificatePath() });
            // Before the first connection to the stand-in's origin, so none is made untrusted.
            TestSupport::TestCertificate::trustInProcess(
                    &Networking::APIClient::networkAccessManager());
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted() || !m_process.waitForReadyRead(10000))
            qFatal("the stand-in did not start");
        const QByteArray line = m_process.readLine().trimmed();
        if (!line.startsWith("listening "))
            qFatal("the stand-in said: %s", line.constData());
        m_baseUrl = QUrl(QString::fromLatin1(line.mid(10)));

        Networking::ApiEndpoint::saveOverride(m_baseUrl);
        Networking::APIClient::setTokenStore(&tokens);
        const QJsonObject issued = QJsonDocument::fromJson(control("POST", u"tokens"_s)).object();
        Models::AuthTokens stored;
        stored.accessToken = issued.value("access_token"_L1).toString();
        stored.refreshToken = issued.value("refresh_token"_L1).toString();
        stored.expiresAt = QDateTime::currentDateTimeUtc().addDays(1);
        stored.refreshExpiresAt = stored.expiresAt.addDays(30);
        tokens.save(stored);
        // Segment rows stay unaccepted, so every batch task sends its ten rows.
        control("POST", u"scenario"_s, R"({"acceptedSegmentIndices": []})");
    }

    ~Stand()
    {
        m_process.kill();
        m_process.waitForFinished();
        Networking::APIClient::setTokenStore(nullptr);
    }

    QByteArray control(const QByteArray &method, const QString &command,
                       const QByteArray &body = "{}")
    {
        const QUrl url = m_baseUrl.resolved(QUrl(u"/__control/"_s + command));
        return Networking::APIClient::instance()
                .execute(url, method, body, "application/json", false)
                .body;
    }

    Tally tally()
    {
        const QJsonArray requests = QJsonDocument::fromJson(control("GET", u"requests"_s))
                                            .object()
                                            .value("requests"_L1)
                                            .toArray();
        QSet<int> connections;
        for (const QJsonValue &request : requests)
            connections.insert(request.toObject().value("connectionId"_L1).toInt());
        return { int(requests.size()), int(connections.size()) };
    }

    QUrl baseUrl() const { return m_baseUrl; }
    // The stand-in's certificate as PEM, written there when serving HTTPS.
    QString certificatePath() const { return m_folder.filePath(u"stand-in.crt"_s); }

    MemoryCredentialStore credentials;
    Storage::TokenStore tokens{ &credentials };

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    QUrl m_baseUrl;
};

// Fills the queue in one transaction through a second connection: the store commits each
// statement on its own, which would take minutes for ten thousand rows.
void fillQueue(int size, const QString &domainKey)
{
    const QString captures = Platform::Paths::capturesDirFor(domainKey);
    const QByteArray jpeg(2048, '\x5a');
    const QDateTime start = QDateTime::currentDateTimeUtc().addSecs(-size);
    const QString name = u"bench_upload_fill"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, name);
        db.setDatabaseName(Platform::Paths::databasePath());
        if (!db.open())
            qFatal("cannot open the benchmark database");
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(u"INSERT INTO upload_queue (id, domain_key, session_id, type, file_path, "
                       "json_payload, retry_count, created_at, status, priority, next_attempt_at) "
                       "VALUES (?, ?, ?, ?, ?, ?, 0, ?, 'pending', ?, 0);"_s);
        for (int i = 0; i < size; ++i) {
            const QString session = QUuid::createUuid().toString(QUuid::WithoutBraces);
            QString type;
            QVariant path(QMetaType::fromType<QString>());
            QByteArray body = R"({"device_uuid":"D","session_uuid":")" + session.toUtf8()
                              + R"(","task_id":"T","started_at":"2025-03-04T09:00:00+07:00")";
            int priority = 0;
            switch (i % 4) {
            case 0:
                type = u"startSession"_s;
                body += "}";
                priority = 110;
                break;
            case 1:
                type = u"heartbeat"_s;
                body += R"(,"total_seconds":60,"status":"active","intervals":[]})";
                priority = 100;
                break;
            case 2:
                type = u"activitySegment"_s;
                body = R"({"open_segment_date":"2100-01-01","open_segment_number":0})";
                priority = 40;
                break;
            default: {
                type = u"screenshot"_s;
                const QString file
                        = captures + u"/%1_2025-03-04T09-15-00Z_0.jpg"_s.arg(session.toUpper());
                QFile out(file);
                if (!out.open(QIODevice::WriteOnly) || out.write(jpeg) != jpeg.size())
                    qFatal("cannot write a capture file");
                path = file;
                priority = 10;
                break;
            }
            }
            insert.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
            insert.addBindValue(domainKey);
            insert.addBindValue(session);
            insert.addBindValue(type);
            insert.addBindValue(path);
            insert.addBindValue(type == u"screenshot"_s
                                        ? QVariant(QMetaType::fromType<QByteArray>())
                                        : QVariant(body));
            insert.addBindValue(double(start.addSecs(i).toMSecsSinceEpoch()) / 1000.0);
            insert.addBindValue(priority);
            if (!insert.exec())
                qFatal("fill failed: %s", qPrintable(insert.lastError().text()));
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

int queued(Storage::SQLiteStore &store)
{
    // Past any back-off: a task that failed still counts.
    return store.nextDueUpload(QDateTime::currentDateTimeUtc().addYears(1)) ? 1 : 0;
}

void drainQueue(benchmark::State &state, Transport transport)
{
    const int size = int(state.range(0));
    Stand stand(transport);
    Storage::SQLiteStore store;
    store.setDomainKey(Networking::ApiEndpoint::domainKey());
    for (int number = 0; number < 10; ++number)
        store.upsertActivitySegment(u"2090-01-01"_s, number, 300, 400, 10, 20);
    UploadServiceTestHooks::setStore(UploadService::instance(), &store);

    double cpu = 0;
    double wall = 0;
    int requests = 0;
    int connections = 0;
    for (auto _ : state) {
        state.PauseTiming();
        stand.control("DELETE", u"requests"_s);
        fillQueue(size, store.domainKey());
        state.ResumeTiming();

        const double cpuStart = processCpuSeconds();
        QElapsedTimer timer;
        timer.start();
        // On a thread of its own, as the program's worker runs it.
        std::unique_ptr<QThread> worker(QThread::create([&store] {
            while (queued(store) > 0)
                UploadServiceTestHooks::processQueue(UploadService::instance());
        }));
        worker->start();
        worker->wait();
        wall += timer.nsecsElapsed() / 1e9;
        cpu += processCpuSeconds() - cpuStart;

        state.PauseTiming();
        const Tally tally = stand.tally();
        requests += tally.requests;
        connections += tally.connections;
        state.ResumeTiming();
    }
    UploadServiceTestHooks::setStore(UploadService::instance(), nullptr);
    state.counters["requests"] = requests;
    state.counters["connections"] = connections;
    state.counters["drain_s"] = wall / double(state.iterations());
    state.counters["req_per_s"] = requests / wall;
    state.counters["cpu_us_per_req"] = cpu * 1e6 / requests;
}

void drainBacklog(benchmark::State &state)
{
    drainQueue(state, Transport::Http);
}

void drainBacklogTls(benchmark::State &state)
{
    drainQueue(state, Transport::Https);
}

void curlPosts(benchmark::State &state, Transport transport)
{
    const int size = int(state.range(0));
    Stand stand(transport);
    const QByteArray url = stand.baseUrl()
                                   .resolved(QUrl(u"hr/clockwarden/employees/sessions/heartbeat"_s))
                                   .toEncoded();
    const QByteArray token = stand.tokens.load()->accessToken.toUtf8();
    QTemporaryDir folder;
    const QString configPath = folder.filePath(u"requests.curlrc"_s);
    {
        // One config of N requests, each as the client sends a heartbeat: bearer token, JSON body.
        QFile config(configPath);
        if (!config.open(QIODevice::WriteOnly))
            qFatal("cannot write the curl config");
        for (int i = 0; i < size; ++i) {
            if (i > 0)
                config.write("next\n");
            config.write("url = \"" + url + "\"\n");
            config.write("header = \"Authorization: Bearer " + token + "\"\n");
            config.write("header = \"Content-Type: application/json\"\n");
            config.write("header = \"Accept: application/json\"\n");
            config.write(R"(data = "{\"device_uuid\":\"D\",\"session_uuid\":\")"
                         + QUuid::createUuid().toString(QUuid::WithoutBraces).toUtf8()
                         + R"(\",\"total_seconds\":60,\"status\":\"active\",\"intervals\":[]}")"
                         + "\n");
            config.write("output = \"/dev/null\"\n");
            // Each operation has its own TLS options; the same ones let curl keep the connection.
            if (transport == Transport::Https)
                config.write("cacert = \"" + stand.certificatePath().toUtf8() + "\"\n");
        }
    }

    double cpu = 0;
    int requests = 0;
    int connections = 0;
    for (auto _ : state) {
        state.PauseTiming();
        stand.control("DELETE", u"requests"_s);
        state.ResumeTiming();

        // The stand-in is a child too, but it is waited for only at the end: what changes here
        // is curl's.
        const double cpuStart = childrenCpuSeconds();
        QProcess curl;
        curl.start(u"curl"_s, { u"--silent"_s, u"--config"_s, configPath });
        if (!curl.waitForFinished(-1) || curl.exitCode() != 0)
            qFatal("curl failed");
        cpu += childrenCpuSeconds() - cpuStart;

        state.PauseTiming();
        const Tally tally = stand.tally();
        requests += tally.requests;
        connections += tally.connections;
        state.ResumeTiming();
    }
    state.counters["requests"] = requests;
    state.counters["connections"] = connections;
    state.counters["cpu_us_per_req"] = cpu * 1e6 / requests;
}

void curlBaseline(benchmark::State &state)
{
    curlPosts(state, Transport::Http);
}

void curlBaselineTls(benchmark::State &state)
{
    curlPosts(state, Transport::Https);
}

void breakerOpenIdle(benchmark::State &state)
{
    Stand stand(Transport::Http);
    Storage::SQLiteStore store;
    store.setDomainKey(Networking::ApiEndpoint::domainKey());
    store.clearAll();
    fillQueue(40, store.domainKey());
    stand.control("POST", u"faults"_s, R"({"route": "any", "status": 503, "times": -1})");
    Services::UploadCircuitBreaker::instance().recordSuccess();

    double cpu = 0;
    for (auto _ : state) {
        UploadService::instance().start(&store);
        while (!Services::UploadCircuitBreaker::instance().isOpen(QDateTime::currentDateTimeUtc()))
            QThread::msleep(20);
        const double cpuStart = processCpuSeconds();
        QThread::sleep(10);
        cpu += processCpuSeconds() - cpuStart;
        UploadService::instance().stop();
        Networking::APIClient::setAbortRequested(false);
    }
    state.counters["cpu_ms_per_10s"] = cpu * 1000.0 / double(state.iterations());
}

} // namespace

BENCHMARK(drainBacklog)
        ->Arg(1000)
        ->Arg(10000)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
BENCHMARK(drainBacklogTls)
        ->Arg(1000)
        ->Arg(10000)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
BENCHMARK(curlBaseline)
        ->Arg(1000)
        ->Arg(10000)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
BENCHMARK(curlBaselineTls)
        ->Arg(1000)
        ->Arg(10000)
        ->Iterations(1)
        ->Unit(benchmark::kSecond)
        ->UseRealTime();
BENCHMARK(breakerOpenIdle)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char **argv)
{
    QTemporaryDir root;
    for (const char *variable :
         { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR" })
        qputenv(variable, (root.path() + u'/' + QString::fromLatin1(variable)).toLocal8Bit());
    QCoreApplication app(argc, argv);
    // As in the program: the client's debug lines go to the application log, not the terminal.
    Core::Log::install();
    Services::AuthNotifications::instance();
    Networking::NetworkMonitor::instance();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
