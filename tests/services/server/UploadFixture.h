#pragma once

// What the upload service's tests share: the stand-in reached through a stored company endpoint
// (plain HTTP), a real token store over an in-memory credential store, the file store of the
// directory layout, capture files, and the application log read back line by line.

#include "ApiClientFixture.h"
#include "FakeHrServer.h"

#include "models/Session.h"
#include "models/UploadTask.h"
#include "storage/SQLiteStore.h"
#include "storage/TokenStore.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>

namespace UploadFixture {

// Lines of the application log written since the last mark.
class LogReader final
{
public:
    // Installs the log on first use.
    LogReader();
    void mark();
    QStringList lines() const;
    // The lines since the mark that contain text.
    QStringList linesContaining(const QString &text) const;

private:
    qint64 m_offset = 0;
};

// Creates what the wiring creates on the GUI thread (the notifications, the network monitor);
// call it in initTestCase.
void prepareProcess();

// One test's world: start() in init(), everything torn down by the destructor. While it exists
// the process-wide upload service uses its store (without a worker), the breaker starts closed
// and the upload clock runs at real time.
class Bench final
{
public:
    Bench();
    ~Bench();
    Bench(const Bench &) = delete;
    Bench &operator=(const Bench &) = delete;

    // Starts the stand-in, stores its origin as the company endpoint, signs in, opens the file
    // store under the endpoint's domain and empties it, and clears the captures folders.
    bool start();
    void signIn();
    void signOut();

    TestSupport::FakeHrServer server;
    MemoryCredentialStore credentials;
    Storage::TokenStore tokens{ &credentials };
    std::unique_ptr<Storage::SQLiteStore> store;
    TestSupport::FakeHrTokens issued;
};

// A session with one interval that started a minute ago and is still open.
Models::Session session();
Models::UploadTask task(Models::UploadTaskType type, const QUuid &sessionId,
                        const std::optional<QByteArray> &body = std::nullopt,
                        const std::optional<QString> &filePath = std::nullopt,
                        const QDateTime &createdAt = QDateTime::currentDateTimeUtc());

// The captures folder of the current domain.
QString capturesDir();
// Writes a small JPEG-like file named "<SESSION>_<stamp>_<screen>.jpg" there; returns its path.
QString captureFile(const QUuid &sessionId,
                    const QString &stamp = QStringLiteral("2025-03-04T09-15-00+07-00"),
                    int screen = 0, const QByteArray &content = QByteArrayLiteral("\xff\xd8jpeg"));

// Runs SQL on the store's file through the sqlite3 shell; one line per row, columns joined by "|".
QStringList sql(const QString &statement);
// Every queued row of the store's file: "type|status|retry_count|session_id" in priority order.
QStringList queueRows();
int queuedCount();

} // namespace UploadFixture
