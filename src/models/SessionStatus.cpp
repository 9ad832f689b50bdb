#include "models/SessionStatus.h"

#include "models/JsonDecodingError.h"

namespace Models {

QString sessionStatusToString(SessionStatus status)
{
    switch (status) {
    case SessionStatus::active:
        break;
    case SessionStatus::paused:
        return QStringLiteral("paused");
    case SessionStatus::completed:
        return QStringLiteral("completed");
    }
    return QStringLiteral("active");
}

SessionStatus sessionStatusFromString(const QString &text)
{
    if (text == u"active")
        return SessionStatus::active;
    if (text == u"paused")
        return SessionStatus::paused;
    if (text == u"completed")
        return SessionStatus::completed;
    throw JsonDecodingError(QStringLiteral("Unknown SessionStatus: %1").arg(text));
}

} // namespace Models
