#pragma once

#include <QList>
#include <QString>

namespace UI::Theme {

// One colour scheme of the interface. Every colour is "#" and six upper-case hex digits, read with
// QColor::fromString.
struct Palette
{
    QString id;
    QString displayName;
    QString brand700;
    QString brand600;
    QString brand;
    QString brand400;
    QString gradientStart;
    QString gradientMid;
    QString gradientEnd;
    QString chrome;
    QString background;
    QString border;
    bool isDark = false;
    QString surface;
    QString text;
    QString text2;
    QString muted;
    QString danger;
};

// The seven palettes in the order the Settings swatches show them; built on first use and kept
// until exit, so references into the list stay valid. GUI thread.
const QList<Palette> &palettes();

// The palette whose id equals id exactly (case-sensitive); the first palette when none does.
const Palette &paletteById(const QString &id);

// The palette applied last by applyPalette(); the first palette before any was applied.
const Palette &currentPalette();

namespace Detail {
// Records the applied palette; only applyPalette() calls it.
void setCurrentPalette(const Palette &palette);
} // namespace Detail

} // namespace UI::Theme
