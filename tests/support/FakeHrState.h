#pragma once

#include "FakeHrScenario.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QString>
#include <QTimeZone>

#include <optional>

namespace TestSupport {

// A token set as the stand-in issues it; the expiry texts are in the service's own form, a local
// time at UTC+07:00 without zone ("2025-03-04 10:15:00").
struct FakeHrTokens
{
    QString accessToken;
    QString refreshToken;
    QString tokenType = QStringLiteral("Bearer");
    QString expiresAt;
    QString refreshExpiresAt;

    // The five wire keys ("access_token", ..., "refresh_expires_at").
    QJsonObject toJson() const;
};

// One answer of the stand-in. It never compresses and always sends Content-Length.
struct FakeHrAnswer
{
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;

    static FakeHrAnswer json(int status, const QJsonObject &object);
    static FakeHrAnswer message(int status, const QString &message);
    // 422 with {"message": message, "errors": {field: [message]}}.
    static FakeHrAnswer validation(const QString &field, const QString &message);
};

// A stretch of tracked time from a heartbeat's intervals.
struct FakeHrInterval
{
    QDateTime from;
    QDateTime to;
};

// The service's mutable state behind the routes. Not thread-safe by itself: FakeHrBackend holds its
// mutex around every use.
struct FakeHrState
{
    FakeHrScenario scenario;
    QString origin;                     // "http://127.0.0.1:PORT", replaces "{origin}" in answers
    std::optional<FakeHrTokens> tokens; // the currently issued set; none before a sign-in
    bool accessTokenExpired = false;    // the access token answers 401, the refresh token works
    int tokenSerial = 0;
    int pendingTokenSerial = 0;
    QSet<QString> startedSessions;            // upper-case session identifiers
    QHash<QString, int> sessionTotals;        // latest "total_seconds" per session from heartbeats
    QHash<QString, QByteArray> uploadedFiles; // screenshot bytes by the file name sent
    // The latest heartbeat's intervals per session; an open one ends where its total does.
    QHash<QString, QList<FakeHrInterval>> sessionIntervals;
    QHash<QString, QJsonObject> lastHeartbeats; // the latest heartbeat body per session
    // The latest batch row per segment, by "yyyy-MM-dd/N".
    QHash<QString, QJsonObject> uploadedSegments;

    // Issues a new set ("access-token-N", "refresh-token-N") and makes it the current one.
    FakeHrTokens issueTokens();
    // The scenario's count plus the latest heartbeat totals of every session.
    int todayTotalSeconds() const;
    // The scenario's date, else today in the configuration's "app_timezone" (UTC when unknown).
    QString todayDate() const;
    // The configuration's "app_timezone", UTC when unknown.
    QTimeZone companyZone() const;

    // The first of `keys` that is missing or null in `object`, empty when all are there.
    static QString missingKey(const QJsonObject &object, const QList<const char *> &keys);
};

} // namespace TestSupport
