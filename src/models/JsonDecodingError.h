#pragma once

#include <QString>

#include <stdexcept>

namespace Models {

// The one failure of every JSON decoder. what() holds the message as UTF-8.
class JsonDecodingError : public std::runtime_error
{
public:
    explicit JsonDecodingError(const QString &message);
};

} // namespace Models
