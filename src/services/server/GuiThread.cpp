#include "services/server/GuiThread.h"

#include <QCoreApplication>
#include <QThread>

namespace Services {

bool isGuiThread()
{
    const QCoreApplication *application = QCoreApplication::instance();
    return application && QThread::currentThread() == application->thread();
}

} // namespace Services
