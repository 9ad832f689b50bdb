#include "ArtPainter.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <QTextStream>

namespace {

bool save(const QImage &image, const QString &path, int quality)
{
    QImageWriter writer(path);
    writer.setQuality(quality);
    if (!writer.write(image)) {
        QTextStream(stderr) << "cannot write " << path << ": " << writer.errorString() << '\n';
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Only raster painting: no display needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws the banners and the application icon."));
    parser.addHelpOption();
    parser.addOption({ QStringLiteral("out"), QStringLiteral("The resources folder to write into."),
                       QStringLiteral("dir") });
    parser.process(app);
    if (!parser.isSet(QStringLiteral("out")))
        parser.showHelp(2);

    const QDir out(parser.value(QStringLiteral("out")));
    if (!out.mkpath(QStringLiteral("banners")) || !out.mkpath(QStringLiteral("icons")))
        return 1;

    const int jpegQuality = 85;
    bool ok = true;
    for (const QString &key : { QStringLiteral("login"), QStringLiteral("forgot"),
                                QStringLiteral("company"), QStringLiteral("tracker") }) {
        for (const UI::Theme::Palette &palette : UI::Theme::palettes()) {
            const QString name
                    = QStringLiteral("banners/%1-hero-banner-%2.jpg").arg(key, palette.id);
            ok = save(ArtGen::paintBanner(key, palette), out.filePath(name), jpegQuality) && ok;
        }
    }
    ok = save(ArtGen::paintBanner(QStringLiteral("active"),
                                  UI::Theme::paletteById(QStringLiteral("pink"))),
              out.filePath(QStringLiteral("banners/tracker-active-hero-pink.jpg")), jpegQuality)
         && ok;
    ok = save(ArtGen::paintAppIcon(), out.filePath(QStringLiteral("icons/AppIcon.png")), -1) && ok;
    return ok ? 0 : 1;
}
