#pragma once

#include <QString>

#include <functional>

class QLabel;
class QObject;
class QPushButton;
class QWidget;

// Inline styling shared by the sign-in pages. GUI thread only.
namespace UI {

// Runs apply now and again after every palette application, for as long as context lives, so
// colours written into inline sheets follow the palette like the global sheet does.
void followPalette(QObject *context, const std::function<void()> &apply);

// The sheet of the sign-in text fields for the current palette; extraDeclarations are appended
// to the field's own rule (the recovery field adds its monospace family).
QString signInFieldStyleSheet(const QString &extraDeclarations = {});

// "color: <colour>;"
QString colourStyleSheet(const QString &colour);

// A word-wrapped plain-text label for failures in the palette's danger colour, hidden until a
// text is shown.
QLabel *makeErrorLabel(const QString &objectName, QWidget *parent);

// Keeps a hidden label's room for one line of text as its own sheet (font, padding) draws it, so
// showing a one-line message moves nothing below it. Call after setting the label's sheet.
void reserveOneLine(QLabel *label);

// Sets a message on a word-wrapped label so that it wraps inside the page even when it holds a long
// unbroken run (an address, a token from the server): such runs get zero-width break chances.
void setWrappingText(QLabel *label, const QString &text);
// A word-wrapped plain-text label in the secondary text colour, for texts naming the account.
QLabel *makeSubtitleLabel(QWidget *parent);
// A large "primary" button, 44 px high.
QPushButton *makePrimaryButton(const QString &text, const QString &objectName, QWidget *parent);
// A link-like "flat" button.
QPushButton *makeFlatButton(const QString &text, const QString &objectName, QWidget *parent);

} // namespace UI
