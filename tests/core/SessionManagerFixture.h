#pragma once

#include "FakePlatformIntegration.h"
#include "RecordingUploads.h"

#include "core/SessionManager.h"
#include "storage/SQLiteStore.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>

// What every session-engine test sets up: a fixed clock, a real store file and preferences under
// the test's XDG root, fakes of the desktop back ends, the recording uploads and a fresh engine
// through the test-only constructor. Construct one per test function.
class SessionManagerFixture
{
public:
    enum class Endpoint { Stored, None };

    explicit SessionManagerFixture(const QDateTime &start, Endpoint endpoint = Endpoint::None);
    ~SessionManagerFixture();

    SessionManagerFixture(const SessionManagerFixture &) = delete;
    SessionManagerFixture &operator=(const SessionManagerFixture &) = delete;

    Core::SessionManager &engine() { return *m_engine; }
    // Drops the engine without shutdown, as a crash would, and builds a fresh one on the same
    // files and fakes.
    void restartEngine();
    // A new engine without initialize, for the wiring order of a test.
    void replaceEngineUninitialized();

    // Moves the clock by the given seconds and runs one tick.
    void tick(double seconds = 1.0);
    // Runs the named private slot now.
    void invoke(const char *slot);
    void advance(double seconds);

    // Every log line written since the fixture was made.
    QStringList logLines() const;

    TestSupport::FakePlatformIntegration platform;
    TestSupport::RecordingUploads uploads;
    std::unique_ptr<Storage::SQLiteStore> store;

private:
    std::unique_ptr<Core::SessionManager> m_engine;
    qsizetype m_logOffset = 0;
};

// Moments in a named zone, e.g. at(u"2025-03-01T23:59:59.500", u"Asia/Bangkok").
QDateTime at(const QString &localTime, const QByteArray &zone = "UTC");
