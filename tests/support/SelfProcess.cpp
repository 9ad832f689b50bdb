#include "SelfProcess.h"

#include <QCoreApplication>

namespace TestSupport {

SelfProcessResult runSelf(const QStringList &arguments, const QProcessEnvironment &environment,
                          int timeoutMs)
{
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    SelfProcessResult result;
    result.finished = child.waitForFinished(timeoutMs);
    if (!result.finished) {
        child.kill();
        child.waitForFinished();
    }
    result.exitStatus = child.exitStatus();
    result.exitCode = child.exitCode();
    result.standardOutput = child.readAllStandardOutput();
    result.standardError = child.readAllStandardError();
    return result;
}

} // namespace TestSupport
