#pragma once

#include <QStringList>

#include <functional>

class QPixmap;
class QWidget;

// One page of the gallery: a widget tree built for the applied palette, the palettes it is shown
// in (empty: all of them), and the object name of a widget to give keyboard focus as Tab would
// (empty: none).
struct GalleryPage
{
    QString name;
    QStringList palettes;
    std::function<QWidget *()> build;
    QString keyboardFocus = {};
};

QList<GalleryPage> galleryPages();

// A label showing a pixmap, for icons and images in the pages.
QWidget *pixmapLabel(const QPixmap &pixmap, QWidget *parent);
