#pragma once

#include <QString>

namespace Networking {
struct APIError;
}

namespace UI {

// The one place where a server failure becomes the short text a main-window view shows.
QString apiErrorMessage(const Networking::APIError &error);

} // namespace UI
