#pragma once

#include "ui/theme/Palette.h"

#include <QImage>
#include <QSize>
#include <QString>

namespace ArtGen {

inline constexpr int bannerWidth = 1600;
inline constexpr int bannerHeight = 640;
inline constexpr int appIconSide = 256;

// The pixel size of a key's banner.
QSize bannerSize(const QString &key);

// A banner for one view key ("login", "forgot", "company", "tracker", "active") in a palette. The
// left half stays quiet for text and the fade; the subject sits near 73 % of the width in the
// upper third. Deterministic: the same inputs give the same pixels.
QImage paintBanner(const QString &key, const UI::Theme::Palette &palette);

// The 256 x 256 application icon with a transparent outside.
QImage paintAppIcon();

} // namespace ArtGen
