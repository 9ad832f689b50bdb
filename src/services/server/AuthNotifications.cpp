#include "services/server/AuthNotifications.h"

namespace Services {

AuthNotifications::AuthNotifications()
{
    // Queued deliveries copy the arguments, which needs both types known to the meta-type system.
    qRegisterMetaType<QUuid>();
    qRegisterMetaType<Services::ServerTodayTotal>();
}

AuthNotifications &AuthNotifications::instance()
{
    static AuthNotifications notifications;
    return notifications;
}

} // namespace Services
