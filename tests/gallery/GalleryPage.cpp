#include "GalleryPage.h"

#include "ThemePage.h"
#include "WidgetsPage.h"

#include <QLabel>

QList<GalleryPage> galleryPages()
{
    return {
        { QStringLiteral("theme"), {}, &buildThemePage },
        { QStringLiteral("widgets"),
          { QStringLiteral("pink"), QStringLiteral("black"), QStringLiteral("teal") },
          &buildWidgetsPage },
    };
}

QWidget *pixmapLabel(const QPixmap &pixmap, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(pixmap);
    label->setFixedSize(pixmap.deviceIndependentSize().toSize());
    return label;
}
