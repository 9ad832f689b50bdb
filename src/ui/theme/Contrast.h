#pragma once

#include <QColor>
#include <QList>

// WCAG 2 contrast arithmetic, used to derive readable text and fill colours from a palette without
// changing the palette's own colours.
namespace UI::Theme {

// Normal text needs 4.5:1 against its background, text of 18 pt (14 pt bold) and up 3:1.
inline constexpr double kNormalTextContrast = 4.5;
inline constexpr double kLargeTextContrast = 3.0;
// Parts of controls and marks that carry meaning (tracks, rings, edges) need 3:1 against what
// lies next to them.
inline constexpr double kNonTextContrast = 3.0;

// The WCAG contrast ratio of two opaque colours, from 1 to 21.
double contrastRatio(const QColor &a, const QColor &b);

// colour itself when it reaches minimum against every background; otherwise colour mixed in small
// steps toward black (light backgrounds) or white (dark backgrounds) until it does. The hue stays.
QColor readableOn(const QColor &colour, const QList<QColor> &backgrounds,
                  double minimum = kNormalTextContrast);

// A fill for text of the given colour: fill itself when the text reaches minimum on it; otherwise
// fill mixed toward the opposite end of the text's lightness until it does.
QColor fillUnder(const QColor &fill, const QColor &text, double minimum = kNormalTextContrast);

// colour itself when it reaches minimum against other; otherwise colour mixed away from other's
// lightness (toward white when colour is the lighter one, black when not) until it does.
QColor apartFrom(const QColor &colour, const QColor &other, double minimum);

// top painted over an opaque bottom: the opaque colour that shows.
QColor composited(const QColor &top, const QColor &bottom);

// colour at opacity alpha when, painted over each background, it reaches minimum against that
// background; otherwise at the lowest higher opacity, in steps of 0.05, that does (fully opaque at
// most). For text or marks meant to look fainter than their neighbours without fading away.
QColor translucentOn(const QColor &colour, double alpha, const QList<QColor> &backgrounds,
                     double minimum);

} // namespace UI::Theme
