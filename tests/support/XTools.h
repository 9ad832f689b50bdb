#pragma once

#include <QString>
#include <QStringList>

// The X command-line tools the X11 tests drive their private display with (xdotool, xsetroot).
namespace TestSupport {

// Runs the program to its end; true when it exited with 0.
bool runTool(const QString &program, const QStringList &arguments);

// Paints the root window's left half in one colour and the right half in another ("#rrggbb"),
// through a one-row bitmap that xsetroot tiles over the whole screen.
bool paintRootHalves(int screenWidth, const QString &leftColour, const QString &rightColour);

} // namespace TestSupport
