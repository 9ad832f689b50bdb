// clockwarden-fake-hr-server: the HR service's stand-in as a program, for running the client
// against it by hand and for end-to-end tests.
//
//   clockwarden-fake-hr-server [--port N] [--tls] [--write-certificate FILE]
//
// It listens on 127.0.0.1 (a free port unless --port is given; with --tls over HTTPS with the
// test certificate, which --write-certificate saves as PEM for the client to trust) and prints one
// line "listening <base URL>" on standard output once it accepts connections, then serves until
// it is killed. Point the client at it with TEMBRIX_API_BASE_URL (HTTPS only) or a stored company
// endpoint (HTTP allowed); sign in as ada@example.com with the password "correct horse".
//
// Drive it with JSON on the same port, e.g.
//   curl -X POST localhost:PORT/__control/faults -d '{"route":"heartbeat","status":503,"times":3}'
//   curl -X POST localhost:PORT/__control/scenario -d '{"signIn":"twoFactor"}'
//   curl -X POST localhost:PORT/__control/refuse -d '{"durationMs":5000}'
//   curl localhost:PORT/__control/requests
// The full list of control calls is in FakeHrControl.h. A refusal of unknown length, which the
// control calls cannot end (they share the closed port): SIGUSR1 stops listening and resets every
// open connection, SIGUSR2 listens again on the same port.

#include "FakeHrServer.h"
#include "TestCertificate.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Signals reach the event loop through this pipe: the handler may only write.
int s_signalPipe[2] = { -1, -1 };

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(s_signalPipe[1], &byte, 1);
}

bool handleListeningSignals(TestSupport::FakeHrServer &server, QObject *owner)
{
    if (::pipe2(s_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(s_signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, owner, [&server] {
        char byte = 0;
        while (::read(s_signalPipe[0], &byte, 1) == 1) {
            if (byte == SIGUSR1)
                server.stopListening();
            else if (!server.resumeListening())
                std::fprintf(stderr, "cannot listen again\n");
        }
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGUSR1, &action, nullptr) == 0
           && ::sigaction(SIGUSR2, &action, nullptr) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"clockwarden-fake-hr-server"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Stand-in for the HR service's JSON API on 127.0.0.1."_s);
    parser.addHelpOption();
    const QCommandLineOption portOption(u"port"_s, u"Port to listen on (default: a free one)."_s,
                                        u"port"_s, u"0"_s);
    const QCommandLineOption tlsOption(u"tls"_s, u"Serve HTTPS with the test certificate."_s);
    const QCommandLineOption certificateOption(
            u"write-certificate"_s, u"Write the test certificate (PEM) to this file."_s, u"file"_s);
    parser.addOptions({ portOption, tlsOption, certificateOption });
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "invalid port\n");
        return 2;
    }
    if (parser.isSet(certificateOption)) {
        QFile file(parser.value(certificateOption));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(TestSupport::TestCertificate::certificatePem()) < 0) {
            std::fprintf(stderr, "cannot write the certificate\n");
            return 2;
        }
    }

    using TestSupport::FakeHrServer;
    FakeHrServer server(parser.isSet(tlsOption) ? FakeHrServer::Transport::Https
                                                : FakeHrServer::Transport::Http);
    if (!server.start(quint16(port))) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    if (!handleListeningSignals(server, &app)) {
        std::fprintf(stderr, "cannot handle SIGUSR1 and SIGUSR2\n");
        return 1;
    }
    std::printf("listening %s\n", server.baseUrl().toEncoded().constData());
    std::fflush(stdout);
    return app.exec();
}
