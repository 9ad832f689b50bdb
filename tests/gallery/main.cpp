#include "GalleryPage.h"

#include "ui/theme/Theme.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QWidget>

#include <memory>

namespace {

bool savePage(const GalleryPage &page, const QDir &out)
{
    std::unique_ptr<QWidget> window(page.build());
    window->setWindowTitle(page.name);
    // The grab reads the server's copy: keep clear of where test windows open.
    window->setGeometry(1980, 80, 460, 640);
    window->setFixedSize(460, 640);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) {
        QTextStream(stderr) << page.name << ": the window was never exposed\n";
        return false;
    }
    if (!page.keyboardFocus.isEmpty()) {
        auto *target = window->findChild<QWidget *>(page.keyboardFocus);
        window->activateWindow();
        // Test windows opened beside the gallery may hold the X focus: then the application
        // makes the window active on its own, which is all the painted focus needs.
        if (!QTest::qWaitForWindowActive(window.get(), 2000))
            QApplication::setActiveWindow(window.get());
        // What a Tab key press marks on its window: focus that came from the keyboard.
        window->setAttribute(Qt::WA_KeyboardFocusChange);
        if (target)
            target->setFocus(Qt::TabFocusReason);
        if (!target || !target->hasFocus()) {
            QTextStream(stderr) << page.name << ": cannot focus " << page.keyboardFocus << '\n';
            return false;
        }
    }
    // Paint now; the grab below reaches the server after the painted frame on the same
    // connection, so it sees that frame.
    window->repaint();
    const QPixmap shot = window->screen()->grabWindow(window->winId());
    const QString path = out.filePath(page.name + QStringLiteral(".png"));
    if (shot.isNull() || !shot.save(path)) {
        QTextStream(stderr) << "cannot write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << path << '\n';
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // The palette choice is saved on every application: keep it away from the user's settings.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path() + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(settings.path() + QStringLiteral("/data")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(settings.path() + QStringLiteral("/state")));

    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Saves each gallery page as a PNG."));
    parser.addHelpOption();
    parser.addOption({ QStringLiteral("out"), QStringLiteral("Folder for the pictures."),
                       QStringLiteral("dir") });
    parser.addOption({ QStringLiteral("palettes"),
                       QStringLiteral("Comma-separated palette ids (default: all)."),
                       QStringLiteral("ids") });
    parser.addOption({ QStringLiteral("pages"),
                       QStringLiteral("Comma-separated page names, each shown in every palette "
                                      "(default: every page in its own palettes)."),
                       QStringLiteral("names") });
    parser.process(app);
    if (!parser.isSet(QStringLiteral("out")))
        parser.showHelp(2);

    UI::Theme::apply(app);
    QStringList wanted
            = parser.value(QStringLiteral("palettes")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList pages
            = parser.value(QStringLiteral("pages")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    bool ok = true;
    for (const UI::Theme::Palette &palette : UI::Theme::palettes()) {
        if (!wanted.isEmpty() && !wanted.contains(palette.id))
            continue;
        UI::Theme::applyPalette(app, palette.id);
        const QDir out(QDir(parser.value(QStringLiteral("out"))).filePath(palette.id));
        if (!out.mkpath(QStringLiteral("."))) {
            ok = false;
            continue;
        }
        for (const GalleryPage &page : galleryPages()) {
            const bool shown = pages.isEmpty() ? page.palettes.isEmpty()
                                                         || page.palettes.contains(palette.id)
                                               : pages.contains(page.name);
            if (shown)
                ok = savePage(page, out) && ok;
        }
    }
    return ok ? 0 : 1;
}
