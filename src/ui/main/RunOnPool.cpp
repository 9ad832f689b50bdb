#include "ui/main/RunOnPool.h"

#include "networking/APIError.h"
#include "storage/Log.h"
#include "ui/main/ApiErrorMessage.h"

#include <exception>

namespace UI::Detail {

QString currentFailureText()
{
    try {
        throw;
    } catch (const Networking::APIError &error) {
        return apiErrorMessage(error);
    } catch (const std::exception &error) {
        Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Error,
                         QStringLiteral("Background task failed: %1")
                                 .arg(QString::fromLocal8Bit(error.what())));
    } catch (...) {
        Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Error,
                         QStringLiteral("Background task failed with an unknown exception"));
    }
    return QStringLiteral("Something went wrong.");
}

} // namespace UI::Detail
