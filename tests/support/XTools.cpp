#include "XTools.h"

#include <QProcess>
#include <QTemporaryFile>

namespace TestSupport {

bool runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.start(program, arguments);
    return tool.waitForFinished(30000) && tool.exitStatus() == QProcess::NormalExit
           && tool.exitCode() == 0;
}

bool paintRootHalves(int screenWidth, const QString &leftColour, const QString &rightColour)
{
    // XBM: rows of bytes, least significant bit first; a set bit takes the foreground colour.
    // The reader wants the values on the line after the opening brace.
    const int bytes = (screenWidth + 7) / 8;
    QString bits;
    for (int i = 0; i < bytes; ++i) {
        int value = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (i * 8 + bit < screenWidth / 2)
                value |= 1 << bit;
        }
        if (i > 0)
            bits += QLatin1Char(',');
        bits += QStringLiteral("0x") + QString::number(value, 16);
    }
    QTemporaryFile file;
    if (!file.open())
        return false;
    file.write(QStringLiteral("#define halves_width %1\n#define halves_height 1\n"
                              "static unsigned char halves_bits[] = {\n%2};\n")
                       .arg(screenWidth)
                       .arg(bits)
                       .toLatin1());
    file.close();
    return runTool(QStringLiteral("xsetroot"),
                   { QStringLiteral("-bitmap"), file.fileName(), QStringLiteral("-fg"), leftColour,
                     QStringLiteral("-bg"), rightColour });
}

} // namespace TestSupport
