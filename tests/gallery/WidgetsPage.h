#pragma once

class QWidget;

// The five banners as their callers set them up, the icon tab widget, activity bars and both
// sides of a flip card.
QWidget *buildWidgetsPage();
