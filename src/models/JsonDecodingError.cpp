#include "models/JsonDecodingError.h"

namespace Models {

JsonDecodingError::JsonDecodingError(const QString &message)
    : std::runtime_error(message.toStdString())
{
}

} // namespace Models
