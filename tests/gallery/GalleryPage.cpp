#include "GalleryPage.h"

#include "SignInPages.h"
#include "ThemePage.h"

#include <QLabel>

QList<GalleryPage> galleryPages()
{
    QList<GalleryPage> pages = {
        { QStringLiteral("theme"), {}, &buildThemePage },
    };
    pages += signInGalleryPages();
    return pages;
}

QWidget *pixmapLabel(const QPixmap &pixmap, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(pixmap);
    label->setFixedSize(pixmap.deviceIndependentSize().toSize());
    return label;
}
