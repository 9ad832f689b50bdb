#pragma once

#include "GalleryPage.h"

// The sign-in pages with sample content, in the pink, black and teal palettes.
// The pages one by one, then the whole sign-in view in each of its phases.
QList<GalleryPage> signInGalleryPages();
QList<GalleryPage> signInViewGalleryPages();
