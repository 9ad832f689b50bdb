#pragma once

#include "services/server/ServerTodayTotal.h"

#include <QObject>
#include <QUuid>

namespace Services {

// The process-wide announcer of what the server decided: the sign-in is no longer valid, another
// device took over a session, or the server reported today's total. Server communication only
// emits these; it holds no reference to whoever listens.
//
// Threading: created by the first call to instance(), which must come from the GUI thread (the
// wiring does it), so the object lives there. Emitters run on any thread; receivers on the GUI
// thread therefore get the worker's emissions queued. The invalidation is meant to be posted with
// a queued call onto this object's thread, so it arrives after the refresh that raised it.
class AuthNotifications final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AuthNotifications)

public:
    static AuthNotifications &instance();

Q_SIGNALS:
    void authSessionDidInvalidate();
    void sessionTakenOverByOtherDevice(QUuid sessionId, int statusCode);
    void serverTodayTotalDidUpdate(Services::ServerTodayTotal total);

private:
    AuthNotifications();
};

} // namespace Services
