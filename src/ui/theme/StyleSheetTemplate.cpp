#include "ui/theme/StyleSheetTemplate.h"

namespace UI::Theme {

// Selectors on boolean dynamic properties ("primary", "card", ...) let views style widgets without
// colours of their own, so a palette switch recolours them by setting the sheet again. No font
// size on QWidget: the application font is the base size.
QString styleSheetTemplate()
{
    return QStringLiteral(R"(QWidget { background-color: %BG%; color: %TEXT2%; }
QLabel, QCheckBox, QRadioButton { background: transparent; }
QToolTip { background-color: #1d1d1f; color: #ffffff; border: none; padding: 4px 8px; border-radius: 6px; font-size: 11px; }
QLineEdit { background-color: %SURFACE%; border: 1px solid %BORDER%; border-radius: 10px; padding: 7px 10px; selection-background-color: %BRANDFILL%; selection-color: %ONBRAND%; }
QLineEdit:focus { border: 1px solid %BRAND%; }
QLineEdit:disabled { background-color: %CHROME%; color: %MUTEDTEXT%; }
QComboBox { background-color: %SURFACE%; border: 1px solid %BORDER%; border-radius: 10px; padding: 6px 10px; min-height: 18px; }
QComboBox:hover { border: 1px solid %BRAND400%; }
QComboBox:focus { border: 1px solid %BRAND%; }
QComboBox::drop-down { border: none; width: 20px; }
QComboBox::down-arrow { image: %CHEVRON%; width: 12px; height: 12px; }
QComboBox QAbstractItemView { background-color: %SURFACE%; border: 1px solid %BORDER%; border-radius: 8px; selection-background-color: %BRANDFILL%; selection-color: %ONBRAND%; padding: 4px; outline: none; }
QPushButton { background-color: %SURFACE%; color: %TEXT%; border: 1px solid %BORDER%; border-radius: 10px; padding: 7px 14px; min-height: 16px; }
QPushButton:hover { background-color: %CHROME%; border-color: %BRAND400%; }
QPushButton:pressed { background-color: %CARDHOVER%; }
QPushButton:disabled { color: %MUTEDTEXT%; border-color: %BORDER%; background-color: %CHROME%; }
QPushButton[primary="true"] { background-color: %GRADIENT%; color: #ffffff; border: none; font-weight: 600; padding: 9px 16px; border-radius: 12px; }
QPushButton[primary="true"]:hover { background-color: %GRADHOVER%; }
QPushButton[primary="true"]:pressed { background-color: %BRAND700%; }
QPushButton[primary="true"]:disabled { background-color: %GRADIENT%; color: rgba(255,255,255,0.6); }
QPushButton[destructive="true"] { background-color: %SURFACE%; color: %DANGER%; border: 1px solid %DANGER%; border-radius: 10px; }
QPushButton[destructive="true"]:hover { background-color: %DANGERSOFT%; color: %DANGER%; }
QPushButton[destructive="true"]:disabled { background-color: %SURFACE%; color: %MUTEDTEXT%; border: 1px solid %BORDER%; }
QPushButton[chip="true"] { background-color: %BRANDFILL%; color: %ONBRAND%; border: none; border-radius: 8px; padding: 6px 12px; font-weight: 600; }
QPushButton[chip="true"]:hover { background-color: %BRANDFILL%; }
QPushButton[chip="true"]:pressed { background-color: %BRAND700%; }
QPushButton[chip="true"]:disabled { background-color: %CHROME%; color: %MUTEDTEXT%; }
QPushButton[ongradientchip="true"] { background-color: #ffffff; color: %BRANDTEXTONWHITE%; border: none; border-radius: 13px; padding: 6px 14px; font-size: 12px; font-weight: 600; }
QPushButton[ongradientchip="true"]:hover { background-color: #fdf2f8; }
QPushButton[outline="true"] { background-color: %SURFACE%; color: %BRANDTEXT%; border: 2px solid %BRAND%; border-radius: 12px; font-weight: 600; }
QPushButton[outline="true"]:hover { background-color: %CHROME%; color: %BRANDTEXTHOVER%; }
QPushButton[outline="true"]:pressed { background-color: %CARDHOVER%; }
QPushButton[outline="true"]:disabled { background-color: %SURFACE%; color: %MUTEDTEXT%; border: 2px solid %BORDER%; }
QPushButton[flat="true"] { background: transparent; border: none; color: %BRANDTEXT%; padding: 4px 6px; min-height: 16px; }
QPushButton[flat="true"]:hover { color: %BRANDTEXTHOVER%; }
QPushButton[flat="true"]:disabled { color: %MUTEDTEXT%; }
QWidget[segtrack="true"] { background: %SURFACE%; border: none; border-radius: 18px; }
QPushButton[segment="true"] { background-color: transparent; border: none; border-radius: 15px; padding: 7px 18px; color: %TEXT2%; font-weight: 600; }
QPushButton[segment="true"]:hover { color: %TEXT%; }
QPushButton[segment="true"]:checked { background-color: %BRANDFILL%; color: %ONBRAND%; font-weight: 600; }
QPushButton[navtoday="true"] { padding: 6px 16px; font-size: 11px; font-weight: 600; color: %ONBRAND%; border: none; border-radius: 13px; background-color: %BRANDFILL%; }
QLabel[muted="true"] { color: %MUTEDTEXT%; }
QLabel[secondary="true"] { color: %TEXT2%; }
QLabel[strong="true"] { color: %TEXT%; font-weight: 600; }
QLabel[danger="true"] { color: %DANGER%; }
QLabel[brand="true"] { color: %BRANDTEXT%; }
QTabWidget::pane { border: none; background: %BG%; }
QWidget[card="true"] { background-color: %SURFACE%; border: 1px solid %BORDER%; border-radius: 16px; }
QFrame[hline="true"] { background: %BORDER%; max-height: 1px; border: none; }
QWidget[zebra="true"] { background: %CHROME%; border-radius: 8px; }
QWidget[plain="true"] { background: transparent; }
QWidget[sectioncard="true"] { background: %SURFACE%; border-radius: 18px; }
QWidget[softrow="true"] { background: %SURFACESOFT%; border-radius: 12px; }
QWidget[panelcard="true"] { background: %SURFACESOFT%; border-radius: 18px; }
QWidget[herocard="true"] { background: %GRADIENT%; border-radius: 18px; }
QWidget[innercard="true"] { background: %SURFACE%; border-radius: 12px; }
QWidget[icondisc="true"] { background: %CHROME%; border-radius: 22px; }
QWidget[warndisc="true"] { background: rgba(255,107,0,0.12); border-radius: 28px; }
QWidget[infocard="true"] { background: %CHROME%; border-radius: 12px; }
QWidget[recentpill="true"] { background: %CHROME%; border-radius: 9px; }
QWidget[paneltable="true"] { background: %SURFACE%; border-radius: 16px; }
QWidget[segmentcard="true"] { background: %SURFACE%; border: 1px solid %BORDER%; border-radius: 12px; }
QLabel[sectiontitle="true"] { color: %BRANDTEXT%; background: transparent; font-size: 11px; font-weight: 700; letter-spacing: 0.8px; }
QScrollArea { border: none; background: transparent; }
QScrollArea > QWidget > QWidget { background: transparent; }
QScrollBar:vertical { background: transparent; width: 10px; margin: 2px; }
QScrollBar::handle:vertical { background: %BORDER%; border-radius: 4px; min-height: 24px; }
QScrollBar::handle:vertical:hover { background: %MUTED%; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }
QScrollBar:horizontal { background: transparent; height: 10px; margin: 2px; }
QScrollBar::handle:horizontal { background: %BORDER%; border-radius: 4px; min-width: 24px; }
QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; }
)");
}

} // namespace UI::Theme
