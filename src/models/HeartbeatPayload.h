#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace Models {

struct Session;

// The heartbeat body: the live "active" heartbeat after each capture and the final "completed"
// one when a session stops. The status text is written unchanged, and only the exact text
// "completed" closes the session: its end (and an open last interval's stop) is the last stop, or
// the build time while the last interval is open. Times are written in the company zone in force
// when the body is built. Always yields compact UTF-8 JSON.
QByteArray buildHeartbeatPayload(const Session &session, const QString &status);
// The same, with the build time given by the caller (UTC) instead of read from the clock.
QByteArray buildHeartbeatPayload(const Session &session, const QString &status,
                                 const QDateTime &now);

} // namespace Models
