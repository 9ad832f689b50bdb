#pragma once

class QWidget;

// The main window's first pages over a real session engine and store in the gallery's own folders:
// the status header above the Tracker tab's start, active and permissions pages, and the
// force-update page; the Summary and Screenshots tabs.
QWidget *buildTrackerStartPage();
QWidget *buildTrackerActivePage();
QWidget *buildTrackerPermissionsPage();
// The active page paused: the faded clock and Resume.
QWidget *buildTrackerPausedPage();
// The start page under the notice of a session that crossed midnight.
QWidget *buildTrackerMidnightPage();
QWidget *buildForceUpdatePage();
QWidget *buildSummaryPage();
QWidget *buildScreenshotsPage();
// The Settings tab signed in, at the top and scrolled to its end.
QWidget *buildSettingsPage();
QWidget *buildSettingsLowerPage();
