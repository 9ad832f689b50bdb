#include "ui/main/UpdateCheckAnswer.h"

namespace UI {

UpdateCheckAnswer *UpdateCheckAnswer::instance()
{
    static UpdateCheckAnswer answer;
    return &answer;
}

QString UpdateCheckAnswer::text(Result result)
{
    switch (result) {
    case Result::UpToDate:
        return QStringLiteral("You're up to date.");
    case Result::UpdateRequired:
        return QStringLiteral("Update required.");
    case Result::Failed:
        break;
    }
    return QStringLiteral("Failed to check update.");
}

void UpdateCheckAnswer::announce(Result result)
{
    Q_EMIT answered(result);
}

void UpdateCheckAnswer::announceCheck(bool fetched, bool updateRequired)
{
    if (!fetched)
        announce(Result::Failed);
    else
        announce(updateRequired ? Result::UpdateRequired : Result::UpToDate);
}

} // namespace UI
