#pragma once

#include "ui/theme/ColorVariables.h"
#include "ui/theme/Contrast.h"
#include "ui/theme/Notifier.h"
#include "ui/theme/Palette.h"

#include <QIcon>
#include <QString>
#include <QStringList>

class QApplication;
class QPushButton;

// Applying a palette to the running application, and the small helpers every view styles itself
// with. GUI thread only.
namespace UI::Theme {

// Start-up, before any window exists: the "Fusion" style (when the factory has it), a 10 pt
// application font, then the saved palette.
void apply(QApplication &app);

// Looks the id up (unknown ids give the first palette), records it as current, reassigns the eleven
// palette-following colour variables, stores the palette's own id in the preferences, sets the
// application palette and style sheet, then emits Notifier::paletteChanged.
void applyPalette(QApplication &app, const QString &id);

// The stored palette id; empty when none is stored.
QString savedPaletteId();

// The application sheet expanded for the current palette.
QString styleSheet();

// The left-to-right brand gradient of a palette as style sheet text.
QString gradient(const Palette &palette);

// The stops (start, middle, end) of the brand gradient as it is filled under white text (primary
// buttons, hero cards): each of the palette's stops, darkened where white reads below 4.5:1.
QStringList textGradientStops(const Palette &palette);

// colour as text on the applied palette's cards, window and chrome: itself where it reads at
// minimum (4.5:1 for text, 3:1 for large text), else the same hue darkened on light palettes or
// lightened on dark ones until it does. For accent and state colours written into inline sheets.
QString readableTextColour(const QString &colour, double minimum = kNormalTextContrast);

// What the active Tracker banner draws over its fill (the text gradient stops) and its picture,
// derived so it reads in every palette.
struct BannerColours
{
    // The paused clock, large bold text: white faded as far as it still reads at 3:1.
    QColor pausedClock;
    // The progress track: a dark veil that shows on the picture's light parts, and a light edge
    // that shows on the gradient and on dark pictures; the white progress reads on the veil.
    QColor trackFill;
    QColor trackEdge;
};
BannerColours bannerColours(const Palette &palette);

// The screenshot thumbnail before its picture arrives ("waiting") or without one ("empty"), and
// the "No screenshot" text on the empty one: light greys on light palettes, the palette's own
// dark tones on dark ones.
struct ThumbnailColours
{
    QColor waiting;
    QColor empty;
    QColor emptyText;
};
ThumbnailColours thumbnailColours(const Palette &palette);

// The amber strip of notices over the window, and muted text that reads on it.
struct NoticeColours
{
    QColor strip;
    QColor mutedText;
};
NoticeColours noticeColours(const Palette &palette);

// Fixes a button's height through its own style sheet (replacing any it had). Primary, chip and
// flat buttons get the height itself; outline buttons, whose 2 px border the sheet adds, 4 px less;
// others 2 px less. Set the style properties before calling.
void setButtonHeight(QPushButton *button, int height);

// The symbol ":/icons/sym/<name>.svg" rendered at twice the logical size and tinted with colour;
// a null icon when the symbol is missing or not a valid SVG.
QIcon icon(const QString &name, const QString &colour, int logicalSize);

// The combo boxes' drop-down chevron tinted with colour, as a PNG the style sheet names: a sheet
// that styles the drop-down draws its arrow only from an image, never through the style. Written
// once per colour into the private runtime folder; empty when it cannot be written.
QString chevronImagePath(const QString &colour);

// The application icon ":/icons/AppIcon.png", decoded once: the tray icon and the window share it.
// GUI thread only.
QIcon appIcon();

// The brand logo whose word mark reads on the palette's cards: ":/icons/tembrix-logo-dark.svg" on
// dark palettes, ":/icons/tembrix-logo.svg" on light ones.
QString logoPath(const Palette &palette);

// ":/banners/<view>-hero-banner-<palette id>.jpg"
QString heroBannerPath(const Palette &palette, const QString &view);

// The active Tracker page's banner: its own picture in the pink palette, the Tracker banner of the
// palette otherwise.
QString trackerActiveBannerPath(const Palette &palette);

} // namespace UI::Theme
