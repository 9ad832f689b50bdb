#include "ui/theme/Palette.h"

namespace UI::Theme {

namespace {

QList<Palette> buildPalettes()
{
    const QString lightText = QStringLiteral("#181A20");
    const QString lightText2 = QStringLiteral("#50545C");
    const QString lightMuted = QStringLiteral("#878B93");
    const QString lightDanger = QStringLiteral("#E0322F");
    const QString white = QStringLiteral("#FFFFFF");

    // Fields: id, displayName, brand700, brand600, brand, brand400, gradientStart, gradientMid,
    // gradientEnd, chrome, background, border, isDark, surface, text, text2, muted, danger.
    return {
        { QStringLiteral("pink"), QStringLiteral("Pink"), QStringLiteral("#D9144E"),
          QStringLiteral("#EA1657"), QStringLiteral("#F32062"), QStringLiteral("#FF4A72"),
          QStringLiteral("#F32062"), QStringLiteral("#F52D63"), QStringLiteral("#FF625B"),
          QStringLiteral("#FCE8EE"), QStringLiteral("#FFF7F9"), QStringLiteral("#F2DDE4"), false,
          white, lightText, lightText2, lightMuted, lightDanger },
        { QStringLiteral("purple"), QStringLiteral("Purple"), QStringLiteral("#5B36C9"),
          QStringLiteral("#6C46DB"), QStringLiteral("#7C57E6"), QStringLiteral("#9878F0"),
          QStringLiteral("#7C57E6"), QStringLiteral("#8563EA"), QStringLiteral("#A07EF5"),
          QStringLiteral("#EFEAFB"), QStringLiteral("#FAF8FE"), QStringLiteral("#E3DAF5"), false,
          white, lightText, lightText2, lightMuted, lightDanger },
        { QStringLiteral("orange"), QStringLiteral("Orange"), QStringLiteral("#D45E08"),
          QStringLiteral("#EA680F"), QStringLiteral("#F97316"), QStringLiteral("#FB923C"),
          QStringLiteral("#F97316"), QStringLiteral("#FA8226"), QStringLiteral("#FCA34D"),
          QStringLiteral("#FCEDDC"), QStringLiteral("#FEFAF4"), QStringLiteral("#F4E0C9"), false,
          white, lightText, lightText2, lightMuted, lightDanger },
        { QStringLiteral("teal"), QStringLiteral("Teal"), QStringLiteral("#1E7D70"),
          QStringLiteral("#279687"), QStringLiteral("#2FAE9E"), QStringLiteral("#53C5B4"),
          QStringLiteral("#2FAE9E"), QStringLiteral("#3BB9A7"), QStringLiteral("#5BCBB6"),
          QStringLiteral("#E3F3EF"), QStringLiteral("#F4FBF9"), QStringLiteral("#CFE9E2"), false,
          white, lightText, lightText2, lightMuted, lightDanger },
        { QStringLiteral("blue"), QStringLiteral("Blue"), QStringLiteral("#2563C7"),
          QStringLiteral("#2E74DE"), QStringLiteral("#3B82F6"), QStringLiteral("#6FA8F8"),
          QStringLiteral("#3B82F6"), QStringLiteral("#4E90F7"), QStringLiteral("#6FA8F8"),
          QStringLiteral("#E1EEFB"), QStringLiteral("#F5FAFE"), QStringLiteral("#CFE2F5"), false,
          white, lightText, lightText2, lightMuted, lightDanger },
        { QStringLiteral("black"), QStringLiteral("Black"), QStringLiteral("#55555F"),
          QStringLiteral("#83838F"), QStringLiteral("#A6A6B2"), QStringLiteral("#BFBFC9"),
          QStringLiteral("#3E3E46"), QStringLiteral("#4C4C55"), QStringLiteral("#62626C"),
          QStringLiteral("#1B1B1F"), QStringLiteral("#202024"), QStringLiteral("#37373E"), true,
          QStringLiteral("#26262B"), QStringLiteral("#F2F2F5"), QStringLiteral("#C2C2CA"),
          QStringLiteral("#8B8B94"), QStringLiteral("#FF6B6B") },
        { QStringLiteral("brown"), QStringLiteral("Brown"), QStringLiteral("#57402E"),
          QStringLiteral("#654A36"), QStringLiteral("#75563F"), QStringLiteral("#96755B"),
          QStringLiteral("#75563F"), QStringLiteral("#82624B"), QStringLiteral("#9B7A60"),
          QStringLiteral("#EFE6DA"), QStringLiteral("#FBF7F2"), QStringLiteral("#E3D5C6"), false,
          white, lightText, lightText2, lightMuted, lightDanger },
    };
}

const Palette *appliedPalette = nullptr;

} // namespace

const QList<Palette> &palettes()
{
    static const QList<Palette> list = buildPalettes();
    return list;
}

const Palette &paletteById(const QString &id)
{
    const QList<Palette> &list = palettes();
    for (const Palette &palette : list) {
        if (palette.id == id)
            return palette;
    }
    return list.first();
}

const Palette &currentPalette()
{
    return appliedPalette ? *appliedPalette : palettes().first();
}

void Detail::setCurrentPalette(const Palette &palette)
{
    appliedPalette = &palette;
}

} // namespace UI::Theme
