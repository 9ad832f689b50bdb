#include "ui/main/TerminationSignals.h"

#include <QSocketNotifier>
#include <QString>

#include <array>
#include <cerrno>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Core {

namespace {

constexpr std::array handledSignals{ SIGTERM, SIGINT, SIGHUP };

// [0] is written by the handler, [1] read by the notifier.
int s_pair[2] = { -1, -1 };

extern "C" void onTerminationSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pair already holds a pending signal; nothing more to say.
    [[maybe_unused]] const ssize_t written = ::write(s_pair[0], &byte, 1);
    errno = savedErrno;
}

void setDisposition(void (*handler)(int))
{
    struct sigaction action
    {
    };
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : handledSignals)
        ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    if (s_pair[0] < 0
        && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, s_pair) != 0) {
        s_pair[0] = s_pair[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(s_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::onReadable);
    setDisposition(onTerminationSignal);
}

TerminationSignals::~TerminationSignals()
{
    setDisposition(SIG_DFL);
}

QString TerminationSignals::signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signalNumber);
    }
}

void TerminationSignals::onReadable()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(s_pair[1], &byte, 1) == 1)
        last = byte;
    if (last == 0)
        return;
    setDisposition(SIG_DFL);
    Q_EMIT received(last);
}

} // namespace Core
