#pragma once

#include "models/JsonDecodingError.h"

#include <QLatin1StringView>
#include <QString>

#include <array>
#include <cstddef>
#include <type_traits>

// Text conversions of the small enumerations whose values run from 0 in the order of their table
// of texts. Both directions come from the one table, so they cannot drift apart.
namespace Models::EnumTexts {

// The text of value; a value outside the table writes as the first text.
template<typename Enum, std::size_t Size>
QString toText(const std::array<QLatin1StringView, Size> &texts, Enum value)
{
    const auto index = static_cast<std::underlying_type_t<Enum>>(value);
    if (index < 0 || std::size_t(index) >= Size)
        return QString(texts.front());
    return QString(texts[std::size_t(index)]);
}

// Exact, case-sensitive match; anything else throws Models::JsonDecodingError with
// "Unknown <typeName>: <text>".
template<typename Enum, std::size_t Size>
Enum fromText(const std::array<QLatin1StringView, Size> &texts, const QString &text,
              QLatin1StringView typeName)
{
    for (std::size_t index = 0; index < Size; ++index) {
        if (text == texts[index])
            return static_cast<Enum>(index);
    }
    throw JsonDecodingError(QStringLiteral("Unknown %1: %2").arg(typeName, text));
}

} // namespace Models::EnumTexts
