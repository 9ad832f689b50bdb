#include "GalleryPage.h"

#include "ShellPages.h"
#include "SignInPages.h"
#include "ThemePage.h"
#include "WidgetsPage.h"

#include <QLabel>

QList<GalleryPage> galleryPages()
{
    QList<GalleryPage> pages = {
        { QStringLiteral("theme"), {}, &buildThemePage },
        { QStringLiteral("widgets"),
          { QStringLiteral("pink"), QStringLiteral("black"), QStringLiteral("teal") },
          &buildWidgetsPage },
        { QStringLiteral("tracker-start"),
          { QStringLiteral("pink"), QStringLiteral("black"), QStringLiteral("teal") },
          &buildTrackerStartPage },
        { QStringLiteral("tracker-active"),
          { QStringLiteral("pink"), QStringLiteral("black"), QStringLiteral("teal") },
          &buildTrackerActivePage },
        { QStringLiteral("tracker-permissions"),
          { QStringLiteral("pink") },
          &buildTrackerPermissionsPage },
        { QStringLiteral("force-update"), { QStringLiteral("pink") }, &buildForceUpdatePage },
        { QStringLiteral("summary"),
          { QStringLiteral("pink"), QStringLiteral("black") },
          &buildSummaryPage },
        { QStringLiteral("screenshots"),
          { QStringLiteral("pink"), QStringLiteral("black") },
          &buildScreenshotsPage },
        { QStringLiteral("settings"),
          { QStringLiteral("pink"), QStringLiteral("black"), QStringLiteral("teal") },
          &buildSettingsPage },
        { QStringLiteral("tracker-midnight"), {}, &buildTrackerMidnightPage },
        { QStringLiteral("tracker-paused"), {}, &buildTrackerPausedPage },
        { QStringLiteral("focus-start"),
          {},
          &buildTrackerStartPage,
          QStringLiteral("Tracker_PrimaryButton") },
        { QStringLiteral("focus-stop"),
          {},
          &buildTrackerActivePage,
          QStringLiteral("Tracker_StopButton") },
        { QStringLiteral("settings-lower"),
          { QStringLiteral("pink"), QStringLiteral("black") },
          &buildSettingsLowerPage },
    };
    pages += signInGalleryPages();
    pages += signInViewGalleryPages();
    return pages;
}

QWidget *pixmapLabel(const QPixmap &pixmap, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setPixmap(pixmap);
    label->setFixedSize(pixmap.deviceIndependentSize().toSize());
    return label;
}
