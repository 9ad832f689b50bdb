#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace UI {

// A label that shows its text literally. Names, figures and messages come from the user and the
// company's server, so markup in them must never render (an <img> tag would load a local file).
QLabel *plainLabel(QWidget *parent);
QLabel *plainLabel(const QString &text, QWidget *parent);

} // namespace UI
