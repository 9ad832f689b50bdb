#pragma once

#include <QStringList>

#include <optional>

// The Tracker tab's two motivating texts: the greeting of the start page and the progress line of
// the active page. The lists are built on first use (thread-safe) and never change.
namespace UI::Greetings {

// 50 lines such as "Let's dive in".
const QStringList &startLines();
// 30 lines, each starting with the placeholder "{time}".
const QStringList &progressLines();
// A uniformly random start line; "Let's get started" if the list were empty.
QString randomStartLine();
// A uniformly random integer in 0 .. count-1 (0 for a count below 2).
int randomIndex(int count);
// Today's worked time in words ("1 minute", "42 minutes", "3 hours"); none under one minute.
std::optional<QString> workedDurationText(double seconds);
// The progress line at index (any integer, wrapped into the list) with the worked time in place
// of "{time}"; "Let's get started" under one minute.
QString progressLine(int index, double seconds);

} // namespace UI::Greetings
