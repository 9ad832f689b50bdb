// Writes to the application log from a static object's destructor, which runs at exit after the
// application object and everything created later (the log's own state included) are gone.

#include <QCoreApplication>

#include "storage/Log.h"

using Core::Log;

namespace {

struct WriterAtExit
{
    ~WriterAtExit()
    {
        Log::write(Log::Category::Upload, Log::Level::Warn, QStringLiteral("written at exit"));
        qWarning("Qt warning at exit");
    }
};

} // namespace

int main(int argc, char **argv)
{
    // Constructed before the log is installed, so destroyed after anything install() creates.
    static WriterAtExit writer;
    QCoreApplication app(argc, argv);
    Log::install();
    Log::write(Log::Category::Session, Log::Level::Info, QStringLiteral("running"));
    return 0;
}
