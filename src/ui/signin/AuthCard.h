#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

// The frame shared by the forgotten-password, e-mail code, two-factor and reset pages. GUI thread.
namespace UI {

struct AuthCard
{
    // The body below the banner, margins 20 and spacing 12; the title is its first widget.
    QVBoxLayout *body = nullptr;
    QLabel *title = nullptr;
};

// Lays out the page: a frameless scroll area holding a shadowed card with a hero banner of the
// given key, then the body with an empty bold title.
AuthCard buildAuthCard(QWidget *page, const QString &heroKey);

// Appends a centred "Back to Login" row to layout; the caller names the button and connects it.
QPushButton *addBackToLoginButton(QVBoxLayout *layout, QWidget *parent);

// first in the text colour, second in the brand colour, both HTML-escaped; the colours are those
// current at the call.
void setTwoToneTitle(QLabel *label, const QString &first, const QString &second);

} // namespace UI
