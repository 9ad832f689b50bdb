#pragma once

#include <QStringList>

#include <functional>

class QPixmap;
class QWidget;

// One page of the gallery: a widget tree built for the applied palette, and the palettes it is
// shown in (empty: all of them).
struct GalleryPage
{
    QString name;
    QStringList palettes;
    std::function<QWidget *()> build;
};

QList<GalleryPage> galleryPages();

// A label showing a pixmap, for icons and images in the pages.
QWidget *pixmapLabel(const QPixmap &pixmap, QWidget *parent);
