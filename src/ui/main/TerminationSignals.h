#pragma once

#include <QObject>

class QSocketNotifier;

namespace Core {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, Ctrl-C, a closed terminal) into a Qt signal on the
// GUI thread, so that they end the program the same orderly way as Quit. The handler only writes
// the signal number into a socket pair; everything else runs from the event loop. After the
// first signal the default actions come back, so a second one ends a stuck process at once.
// One object per process; GUI thread only.
class TerminationSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationSignals)

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    // Gives the three signals their default actions back.
    ~TerminationSignals() override;

    // "SIGTERM", "SIGINT", "SIGHUP", else "signal <n>".
    static QString signalName(int signalNumber);

Q_SIGNALS:
    void received(int signalNumber);

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace Core
