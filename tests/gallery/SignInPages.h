#pragma once

#include "GalleryPage.h"

// The sign-in pages with sample content, in the pink, black and teal palettes.
QList<GalleryPage> signInGalleryPages();
