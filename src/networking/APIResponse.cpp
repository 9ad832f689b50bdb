#include "networking/APIResponse.h"

namespace Networking {

bool RawReply::shouldResetConnections() const
{
    return timedOut || statusCode == 502 || statusCode == 504;
}

} // namespace Networking
