#include "GalleryPage.h"

#include "ThemePage.h"

#include <QLabel>

QList<GalleryPage> galleryPages()
{
    return {
        { QStringLiteral("theme"), {}, &buildThemePage },
    };
}

QWidget *pixmapLabel(const QPixmap &pixmap, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(pixmap);
    label->setFixedSize(pixmap.deviceIndependentSize().toSize());
    return label;
}
