#pragma once

#include <QString>

// Crash reports: when the process dies of a fatal signal (SIGSEGV, SIGABRT, SIGFPE, SIGILL,
// SIGBUS) or an uncaught exception, the first fault on any thread writes
// "<state dir>/crashes/crash-<pid>.txt" (mode 0600): "Signal: <n>" and the crashing thread's
// backtrace. The process then ends by the same signal. Nothing reads the reports back.
namespace Platform {

// Installs the handlers; call once, first thing in main(), before the application object.
void installCrashHandlers();
// The state directory + "/crashes", created when missing.
QString crashReportDirectory();

// The handlers themselves; they allocate nothing, take no lock and use only plain system calls.
void crashSignalHandler(int signal);
[[noreturn]] void crashTerminateHandler();

// The newest "crash-*.txt" of the crash directory (absolute path), or an empty text.
QString latestCrashReport();
// Deletes that file; whether it did.
bool removeCrashReport(const QString &path);

} // namespace Platform
