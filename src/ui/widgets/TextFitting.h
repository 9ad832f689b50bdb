#pragma once

#include <QFont>
#include <QString>

namespace UI {

struct FittedText
{
    QString text;
    QFont font;
    int lineCount = 1;
};

// Lines the text takes when wrapped at width px, breaking inside a word only when it does not fit
// alone; the empty text takes 1.
int wrappedLineCount(const QString &text, const QFont &font, int width);

// Fits the text into at most two lines of width px: first shrinks the font in half-point steps down
// to minimumPointSize (a font without a point size starts at 12 pt), then cuts the text and ends it
// with "…". Lays the text out once per step: meant for short lines, a few times a minute.
FittedText fitTextToTwoLines(const QString &text, const QFont &font, int width,
                             double minimumPointSize);

} // namespace UI
