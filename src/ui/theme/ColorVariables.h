#pragma once

#include <QString>

// Colours for code that paints widgets or writes inline style sheets, as "#RRGGBB" texts. They hold
// the first palette's values before any palette is applied; applyPalette() reassigns the first
// eleven, the last four never change. Text colours (brandText, muted, danger) are the palette's,
// adjusted where needed to read at 4.5:1 on its surface, background and chrome. Read and written
// on the GUI thread only.
namespace UI::Theme {

extern QString brandColor;
extern QString brandTextColor;
extern QString brand700Color;
extern QString textColor;
extern QString text2Color;
extern QString mutedColor;
extern QString borderColor;
extern QString chromeColor;
extern QString dangerColor;
// The icon tab bar: the current tab and the others. The current tab is the palette's brand colour,
// lifted where it would not stand 2:1 apart from the others (a grey brand on a dark palette).
extern QString tabCurrentColor;
extern QString tabIdleColor;

extern QString greenColor;
extern QString orangeColor;
extern QString blueColor;
extern QString purpleColor;

} // namespace UI::Theme
