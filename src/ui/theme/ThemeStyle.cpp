#include "ui/theme/ThemeStyle.h"

#include "ui/theme/ColorVariables.h"
#include "ui/theme/Theme.h"

#include <QAbstractButton>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

namespace UI::Theme {

namespace {

constexpr int kRingWidth = 2;

} // namespace

ThemeStyle::ThemeStyle(QStyle *base)
    : QProxyStyle(base)
{
}

int ThemeStyle::buttonRadius(const QWidget *button)
{
    // Same radii as the application sheet's button rules.
    const std::pair<const char *, int> radii[] = {
        { "segment", 15 }, { "navtoday", 13 }, { "ongradientchip", 13 },
        { "primary", 12 }, { "outline", 12 },  { "chip", 8 },
        { "flat", 6 },
    };
    for (const auto &[name, radius] : radii) {
        if (button->property(name).toBool())
            return radius;
    }
    return 10;
}

void ThemeStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                               QPainter *painter, const QWidget *widget) const
{
    if (element == PE_FrameFocusRect && qobject_cast<const QAbstractButton *>(widget)) {
        // Fusion's square rectangle sits oddly inside rounded buttons. A ring in the button's own
        // text colour, just inside its edge, shows on any fill and follows the shape.
        if (!(option->state & State_KeyboardFocusChange))
            return;
        // Outline buttons draw a 2 px border of their own: the ring keeps a gap from it, or the
        // two would merge into one thicker border.
        const qreal border = widget->property("outline").toBool() ? 2 : 0;
        const qreal inset = kRingWidth + kRingWidth / 2.0 + border;
        const QRectF ring = QRectF(widget->rect()).adjusted(inset, inset, -inset, -inset);
        const qreal radius
                = std::max(0.0, std::min<qreal>(buttonRadius(widget) - inset, ring.height() / 2));
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        // A checked segment's text takes the highlighted colour of its fill; the option's
        // button text stays the unchecked one, which would vanish on that fill.
        const QPalette::ColorRole text
                = option->state & State_On ? QPalette::HighlightedText : QPalette::ButtonText;
        painter->setPen(QPen(option->palette.color(text), kRingWidth));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(ring, radius, radius);
        painter->restore();
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

int ThemeStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                          QStyleHintReturn *returnData) const
{
    if (hint == SH_DialogButtonBox_ButtonsHaveIcons)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QIcon ThemeStyle::standardIcon(StandardPixmap icon, const QStyleOption *option,
                               const QWidget *widget) const
{
    constexpr int size = 32;
    switch (icon) {
    case SP_MessageBoxInformation:
        return Theme::icon(QStringLiteral("info-circle"), brandTextColor, size);
    case SP_MessageBoxWarning:
        return Theme::icon(QStringLiteral("triangle-alert"), orangeColor, size);
    case SP_MessageBoxCritical:
        return Theme::icon(QStringLiteral("xmark-circle"), dangerColor, size);
    case SP_MessageBoxQuestion:
        return Theme::icon(QStringLiteral("info-circle"), brandTextColor, size);
    case SP_DialogOkButton:
    case SP_DialogCancelButton:
    case SP_DialogYesButton:
    case SP_DialogNoButton:
    case SP_DialogCloseButton:
    case SP_DialogApplyButton:
    case SP_DialogSaveButton:
    case SP_DialogDiscardButton:
    case SP_DialogResetButton:
    case SP_DialogHelpButton:
        return {};
    default:
        return QProxyStyle::standardIcon(icon, option, widget);
    }
}

} // namespace UI::Theme
