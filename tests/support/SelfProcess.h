#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

namespace TestSupport {

// Runs the test's own executable again as a child, for what a test process cannot do to itself
// more than once: a second program instance, a crash, a bus environment of its own. The child
// inherits the environment unless another is given; its main() picks its role from the arguments.
struct SelfProcessResult
{
    bool finished = false;
    // A child killed by a signal reports CrashExit, with the signal number as exit code.
    QProcess::ExitStatus exitStatus = QProcess::NormalExit;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

SelfProcessResult runSelf(const QStringList &arguments,
                          const QProcessEnvironment &environment
                          = QProcessEnvironment::systemEnvironment(),
                          int timeoutMs = 30000);

// The same on an X server of its own: tests/support/with-xvfb with the given options (such as
// "--no-randr", "--depth", "16" or "--dead-display") runs the child.
SelfProcessResult runSelfOnXvfb(const QStringList &xvfbOptions, const QStringList &arguments,
                                const QProcessEnvironment &environment
                                = QProcessEnvironment::systemEnvironment(),
                                int timeoutMs = 30000);

} // namespace TestSupport
