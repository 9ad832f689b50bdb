#pragma once

#include <QProcess>

namespace TestSupport {

// Ends a helper process the test started: politely first, then for good. Does nothing when it is
// not running.
inline void stopChildProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace TestSupport
