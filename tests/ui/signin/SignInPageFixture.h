#pragma once

#include "ui/theme/Theme.h"

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

// Small helpers shared by the sign-in page tests: palettes, named children, real windows, Tab walks
// with real key events and pixel checks.
namespace SignInTest {

inline void usePalette(const QString &id)
{
    UI::Theme::applyPalette(*qApp, id);
}

template<typename T>
T *child(const QWidget *page, const QString &name)
{
    T *found = page->findChild<T *>(name);
    if (found == nullptr)
        qFatal("no child named %s", qPrintable(name));
    return found;
}

// Shows the page as a 460 x 640 window. Tests run side by side on one display, so they never rely
// on the window being active: focus is read from the window's own focus widget, which Qt keeps
// for inactive windows too, and key events go straight to a widget.
inline bool showPage(QWidget *page)
{
    page->resize(460, 640);
    page->show();
    return QTest::qWaitForWindowExposed(page);
}

inline bool isNear(QColor a, QColor b, int tolerance)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance
           && qAbs(a.blue() - b.blue()) <= tolerance;
}

inline bool hasPixelNear(const QImage &image, const QColor &colour, int tolerance = 6)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isNear(image.pixelColor(x, y), colour, tolerance))
                return true;
        }
    }
    return false;
}

inline QImage shotOf(QWidget *widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace SignInTest
