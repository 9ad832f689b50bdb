#include "ui/theme/Contrast.h"

#include <algorithm>
#include <cmath>

namespace UI::Theme {

namespace {

double channel(double value)
{
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &colour)
{
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF())
           + 0.0722 * channel(colour.blueF());
}

QColor mixed(const QColor &from, const QColor &to, double amount)
{
    const auto step = [amount](int a, int b) { return int(std::lround(a + (b - a) * amount)); };
    return QColor(step(from.red(), to.red()), step(from.green(), to.green()),
                  step(from.blue(), to.blue()));
}

// Mixes colour toward target until every background is far enough from it; 50 steps reach target
// itself, which is as far as the mix can go.
QColor mixedUntil(const QColor &colour, const QColor &target, const QList<QColor> &backgrounds,
                  double minimum)
{
    const auto enough = [&](const QColor &candidate) {
        return std::ranges::all_of(backgrounds, [&](const QColor &background) {
            return contrastRatio(candidate, background) >= minimum;
        });
    };
    QColor candidate = colour;
    for (int step = 1; step <= 50 && !enough(candidate); ++step)
        candidate = mixed(colour, target, step / 50.0);
    return candidate;
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableOn(const QColor &colour, const QList<QColor> &backgrounds, double minimum)
{
    double average = 0;
    for (const QColor &background : backgrounds)
        average += luminance(background) / double(std::max<qsizetype>(1, backgrounds.size()));
    const QColor target = average > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    return mixedUntil(colour, target, backgrounds, minimum);
}

QColor fillUnder(const QColor &fill, const QColor &text, double minimum)
{
    const QColor target = luminance(text) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    return mixedUntil(fill, target, { text }, minimum);
}

QColor apartFrom(const QColor &colour, const QColor &other, double minimum)
{
    const QColor target
            = luminance(colour) >= luminance(other) ? QColor(Qt::white) : QColor(Qt::black);
    return mixedUntil(colour, target, { other }, minimum);
}

QColor composited(const QColor &top, const QColor &bottom)
{
    const double a = top.alphaF();
    const auto channel
            = [a](int over, int under) { return int(std::lround(over * a + under * (1 - a))); };
    return QColor(channel(top.red(), bottom.red()), channel(top.green(), bottom.green()),
                  channel(top.blue(), bottom.blue()));
}

QColor translucentOn(const QColor &colour, double alpha, const QList<QColor> &backgrounds,
                     double minimum)
{
    QColor candidate = colour;
    // Whole steps of 0.05 from alpha; the last step is opaque whatever alpha was.
    for (int step = 0;; ++step) {
        const double opacity = std::min(1.0, alpha + step * 0.05);
        candidate.setAlphaF(float(opacity));
        const bool enough = std::ranges::all_of(backgrounds, [&](const QColor &background) {
            return contrastRatio(composited(candidate, background), background) >= minimum;
        });
        if (enough || opacity >= 1.0)
            return candidate;
    }
}

} // namespace UI::Theme
