#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class QWidget;

// The frame shared by the forgotten-password, e-mail code, two-factor and reset pages. GUI thread.
namespace UI {

class HeroBanner;

struct AuthCard
{
    // The body below the banner, margins 20 and spacing 12; the title is its first widget.
    QVBoxLayout *body = nullptr;
    QLabel *title = nullptr;
};

// Lays out the page: a frameless scroll area holding a shadowed card with a hero banner of the
// given key, then the body with an empty bold title.
AuthCard buildAuthCard(QWidget *page, const QString &heroKey);

// The pieces every sign-in card is made of, also for the form and the company page.
// A frameless, resizable scroll area without a horizontal bar that keeps Tab on the page's
// controls.
QScrollArea *makePageScrollArea(QWidget *parent);
// A styled "panelcard" with its soft drop shadow and a vertical layout of margins and spacing 0.
QWidget *makePanelCard(QWidget *parent = nullptr);
// A focal-zoom banner, radius 18 and 195 px high, appended to the card's layout.
HeroBanner *addHeroBanner(QWidget *card, const QString &key, double visibleFraction, double focusX,
                          double focusY);
// The card's title font: the label's own, bold and 8 points larger.
void setCardTitleFont(QLabel *label);

// Appends a centred "Back to Login" row to layout; the caller names the button and connects it.
QPushButton *addBackToLoginButton(QVBoxLayout *layout, QWidget *parent);

// first in the text colour, second in the brand colour, both HTML-escaped; the colours are those
// current at the call.
void setTwoToneTitle(QLabel *label, const QString &first, const QString &second);

} // namespace UI
