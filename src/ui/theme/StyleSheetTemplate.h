#pragma once

#include <QString>

namespace UI::Theme {

// The application-wide sheet with "%NAME%" placeholders for the palette's colours.
QString styleSheetTemplate();

} // namespace UI::Theme
