// Helper for tst_dmabufimporter: asks the system's EGL twice whether DMA-BUF import is possible,
// in a process of its own, since the driver settles its platform once per process. The log goes
// under the caller's XDG_STATE_HOME; the answers go to standard output.
#include <QCoreApplication>
#include <QTextStream>

#include "platform/wayland/DmaBufImporter.h"
#include "storage/Log.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Core::Log::install();
    Platform::Wayland::DmaBufImporter importer;
    const bool first = importer.isAvailable();
    const bool second = importer.isAvailable();
    QTextStream(stdout) << (first ? "available" : "unavailable") << ' '
                        << (second ? "available" : "unavailable") << '\n';
    return 0;
}
