#include "ui/theme/ColorVariables.h"

// All fifteen live in this one file so that their initialisation order is the order written here;
// no other static initialiser may read them.
namespace UI::Theme {

QString brandColor = QStringLiteral("#F32062");
QString brandTextColor = QStringLiteral("#CC1B52");
QString brand700Color = QStringLiteral("#D9144E");
QString textColor = QStringLiteral("#181A20");
QString text2Color = QStringLiteral("#50545C");
QString mutedColor = QStringLiteral("#878B93");
QString borderColor = QStringLiteral("#F2DDE4");
QString chromeColor = QStringLiteral("#FCE8EE");
QString dangerColor = QStringLiteral("#E0322F");
QString tabCurrentColor = QStringLiteral("#F32062");
QString tabIdleColor = QStringLiteral("#181A20");

QString greenColor = QStringLiteral("#17B83F");
QString orangeColor = QStringLiteral("#FF6B00");
QString blueColor = QStringLiteral("#087DFF");
QString purpleColor = QStringLiteral("#9149E8");

} // namespace UI::Theme
