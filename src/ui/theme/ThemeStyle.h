#pragma once

#include <QProxyStyle>

namespace UI::Theme {

// Fusion with the few looks a style sheet cannot give: a keyboard focus ring that follows a
// button's rounded shape, and the theme's symbols (or none) where Qt would show its own fallback
// icons in message boxes and dialog buttons. (The drop-down chevron is the sheet's image: a sheet
// that styles the drop-down never asks the style for its arrow.)
class ThemeStyle : public QProxyStyle
{
    Q_OBJECT

public:
    explicit ThemeStyle(QStyle *base);

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption *option = nullptr,
                  const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;
    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;

    // The corner radius the application sheet gives this button, from its style properties.
    static int buttonRadius(const QWidget *button);
};

} // namespace UI::Theme
