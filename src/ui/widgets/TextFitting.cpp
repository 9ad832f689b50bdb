#include "ui/widgets/TextFitting.h"

#include <QTextLayout>

#include <algorithm>

namespace UI {

int wrappedLineCount(const QString &text, const QFont &font, int width)
{
    if (text.isEmpty())
        return 1;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    int lines = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        ++lines;
    }
    layout.endLayout();
    return std::max(lines, 1);
}

FittedText fitTextToTwoLines(const QString &text, const QFont &font, int width,
                             double minimumPointSize)
{
    QFont f = font;
    double size = f.pointSizeF() > 0 ? f.pointSizeF() : 12.0;
    f.setPointSizeF(size);
    while (wrappedLineCount(text, f, width) > 2 && size > minimumPointSize) {
        size = std::max(size - 0.5, minimumPointSize);
        f.setPointSizeF(size);
    }

    const QString ellipsis(QChar(0x2026));
    QString s = text;
    if (wrappedLineCount(s, f, width) > 2) {
        while (!s.isEmpty() && wrappedLineCount(s + ellipsis, f, width) > 2)
            s.chop(1);
        s = s.trimmed();
        if (!s.isEmpty())
            s += ellipsis;
    }
    return { s, f, wrappedLineCount(s, f, width) };
}

} // namespace UI
