#pragma once

#include "models/JsonDecodingError.h"

#include <QString>

namespace TestSupport {

// The message of the decoding error the call throws, or "no error", so a table row can state the
// expected failure as text.
template<typename Call>
QString decodingFailureOf(Call call)
{
    try {
        call();
        return QStringLiteral("no error");
    } catch (const Models::JsonDecodingError &error) {
        return QString::fromUtf8(error.what());
    }
}

} // namespace TestSupport
