#include "networking/APIResponse.h"

#include <QNetworkReply>

using namespace Qt::StringLiterals;

namespace Networking {

bool RawReply::shouldResetConnections() const
{
    return timedOut || statusCode == 502 || statusCode == 504;
}

void RawReply::markCanceled(bool timedOutToo)
{
    networkError = QNetworkReply::OperationCanceledError;
    errorString = u"Operation canceled"_s;
    timedOut = timedOutToo;
}

} // namespace Networking
