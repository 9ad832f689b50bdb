#pragma once

#include <QProcess>
#include <QString>

namespace TestSupport {

// A real secret service for one test process: gnome-keyring-daemon with only its secrets
// component, unlocked with a fixed password, on the session bus the test runs in (register the
// test with PRIVATE_BUS). Its keyring files go under the test's XDG_DATA_HOME and its control
// socket under XDG_RUNTIME_DIR, so start it after the TestEnvironment is in place. The daemon is
// stopped when the object goes.
class SecretServiceDaemon final
{
public:
    SecretServiceDaemon() = default;
    ~SecretServiceDaemon();

    SecretServiceDaemon(const SecretServiceDaemon &) = delete;
    SecretServiceDaemon &operator=(const SecretServiceDaemon &) = delete;

    // Starts the daemon and waits until it owns its bus name; false (with a warning) when it did
    // not come up.
    bool start();
    void stop();

    // Runs secret-tool with the arguments and returns what it printed on both channels.
    static QString secretTool(const QStringList &arguments);

private:
    QProcess m_process;
};

} // namespace TestSupport
