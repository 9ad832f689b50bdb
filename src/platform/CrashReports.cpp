#include "platform/CrashReports.h"

#include "storage/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>

#include <execinfo.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace Platform {

namespace {

constexpr int maxFrames = 64;
constexpr std::size_t prefixCapacity = 512;
// The longest prefix that still leaves room for the process id, ".txt" and the NUL.
constexpr std::size_t maxPrefixLength = 487;
constexpr std::size_t pathCapacity = 520;
constexpr std::array fatalSignals{ SIGSEGV, SIGABRT, SIGFPE, SIGILL, SIGBUS };

char s_prefix[prefixCapacity];
volatile sig_atomic_t s_prefixReady = 0;
std::atomic<unsigned char> s_handled{ 0 };
std::atomic<unsigned char> s_reportDone{ 0 };
alignas(16) char s_alternateStack[65536];

static_assert(std::atomic<unsigned char>::is_always_lock_free);

// Appends the decimal digits of value to buffer at position; returns the new position.
std::size_t appendDecimal(char *buffer, std::size_t position, long long value)
{
    char digits[24];
    std::size_t count = 0;
    unsigned long long magnitude
            = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        buffer[position++] = '-';
    while (count > 0)
        buffer[position++] = digits[--count];
    return position;
}

std::size_t appendText(char *buffer, std::size_t position, const char *text, std::size_t limit)
{
    for (std::size_t i = 0; text[i] != '\0' && i < limit; ++i)
        buffer[position++] = text[i];
    return position;
}

void writeReport(int signal, void *const *frames, int frameCount)
{
    char path[pathCapacity];
    std::size_t length = appendText(path, 0, s_prefix, maxPrefixLength + 1);
    length = appendDecimal(path, length, ::getpid());
    length = appendText(path, length, ".txt", 4);
    path[length] = '\0';

    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    char line[40];
    std::size_t lineLength = appendText(line, 0, "Signal: ", 8);
    lineLength = appendDecimal(line, lineLength, signal);
    line[lineLength++] = '\n';
    [[maybe_unused]] const ssize_t written = ::write(fd, line, lineLength);
    ::backtrace_symbols_fd(frames, frameCount, fd);
    ::close(fd);
}

// A thread that lost the race waits while the winner writes: re-raising at once would end the
// process in the middle of the report. The winner's own re-raise ends the wait; the limit only
// guards against a writer that never finishes.
void waitForReport()
{
    const timespec pause{ 0, 10 * 1000 * 1000 };
    for (int i = 0; i < 500 && s_reportDone.load() == 0; ++i)
        ::nanosleep(&pause, nullptr);
}

} // namespace

QString crashReportDirectory()
{
    return Paths::ensureDir(Paths::stateDir() + "/crashes"_L1);
}

void installCrashHandlers()
{
    const QByteArray prefix = QFile::encodeName(crashReportDirectory() + "/crash-"_L1);
    if (static_cast<std::size_t>(prefix.size()) <= maxPrefixLength) {
        std::memcpy(s_prefix, prefix.constData(), prefix.size() + 1);
        s_prefixReady = 1;
    }

    // The first backtrace() loads the unwinder, which allocates: do that now, not in a handler.
    void *warmUp[4];
    ::backtrace(warmUp, 4);

    std::set_terminate(&crashTerminateHandler);

    stack_t stack{};
    stack.ss_sp = s_alternateStack;
    stack.ss_size = sizeof s_alternateStack;
    stack.ss_flags = 0;
    ::sigaltstack(&stack, nullptr);

    // No SA_RESETHAND: it resets the disposition for the whole process on entry, so a second
    // thread faulting meanwhile would end the process before the first had written its report.
    // The handler restores the default itself before re-raising.
    struct sigaction action
    {
    };
    action.sa_handler = &crashSignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK;
    for (const int signal : fatalSignals)
        ::sigaction(signal, &action, nullptr);
}

void crashSignalHandler(int signal)
{
    const int savedErrno = errno;
    void *frames[maxFrames];
    const int frameCount = ::backtrace(frames, maxFrames);

    if (s_prefixReady != 0) {
        if (s_handled.exchange(1) == 0) {
            writeReport(signal, frames, frameCount);
            s_reportDone.store(1);
        } else {
            waitForReport();
        }
    }

    struct sigaction action
    {
    };
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    // The signal is blocked while its handler runs; the default action takes effect on return,
    // or at once for a signal raised by hand (the terminate handler).
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(signal);
    errno = savedErrno;
}

void crashTerminateHandler()
{
    crashSignalHandler(SIGABRT);
    std::abort();
}

QString latestCrashReport()
{
    const QFileInfoList reports
            = QDir(crashReportDirectory())
                      .entryInfoList({ u"crash-*.txt"_s }, QDir::Files, QDir::Time);
    return reports.isEmpty() ? QString() : reports.constFirst().absoluteFilePath();
}

bool removeCrashReport(const QString &path)
{
    return QFile::remove(path);
}

} // namespace Platform
