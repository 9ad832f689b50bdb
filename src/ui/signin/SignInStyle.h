#pragma once

#include <QString>

#include <functional>

class QObject;

// Inline styling shared by the sign-in pages. GUI thread only.
namespace UI {

// Runs apply now and again after every palette application, for as long as context lives, so
// colours written into inline sheets follow the palette like the global sheet does.
void followPalette(QObject *context, const std::function<void()> &apply);

// The sheet of the sign-in text fields for the current palette; extraDeclarations are appended
// to the field's own rule (the recovery field adds its monospace family).
QString signInFieldStyleSheet(const QString &extraDeclarations = {});

// "color: <colour>;"
QString colourStyleSheet(const QString &colour);

} // namespace UI
