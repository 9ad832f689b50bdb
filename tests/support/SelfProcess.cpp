#include "SelfProcess.h"

#include <QCoreApplication>

namespace TestSupport {

namespace {

SelfProcessResult run(const QString &program, const QStringList &arguments,
                      const QProcessEnvironment &environment, int timeoutMs)
{
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(program, arguments);
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

} // namespace

SelfProcessResult runSelf(const QStringList &arguments, const QProcessEnvironment &environment,
                          int timeoutMs)
{
    return run(QCoreApplication::applicationFilePath(), arguments, environment, timeoutMs);
}

SelfProcessResult runSelfOnXvfb(const QStringList &xvfbOptions, const QStringList &arguments,
                                const QProcessEnvironment &environment, int timeoutMs)
{
    const QStringList runnerArguments = xvfbOptions + QStringList{ QStringLiteral("--") }
                                        + QStringList{ QCoreApplication::applicationFilePath() }
                                        + arguments;
    return run(QStringLiteral(CLOCKWARDEN_XVFB_RUNNER), runnerArguments, environment, timeoutMs);
}

} // namespace TestSupport
