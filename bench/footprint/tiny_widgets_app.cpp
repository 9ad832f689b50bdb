// clockwarden-tiny-widgets: the smallest program shaped like the client (one 460x640 window and a
// tray icon), the baseline that bench/footprint/measure.py compares the client's footprint with.

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QPixmap iconPixmap(32, 32);
    iconPixmap.fill(Qt::darkMagenta);
    QSystemTrayIcon tray{ QIcon(iconPixmap) };
    tray.show();

    QWidget window;
    window.setWindowTitle(QStringLiteral("Tiny"));
    window.setFixedSize(460, 640);
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Not Tracking")));
    window.show();
    return QApplication::exec();
}
