#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QVariantList>

namespace TestSupport {

// A python3-dbusmock service started from one of its templates ("logind",
// "notification_daemon") on the private session or system bus of the test (register the test
// with PRIVATE_BUS or SYSTEM_BUS). The service is stopped when the object goes.
class DBusMock final
{
public:
    enum class Bus { Session, System };

    struct Call
    {
        QString method;
        QVariantList arguments;
    };

    DBusMock(const QString &templateName, Bus bus);
    ~DBusMock();

    DBusMock(const DBusMock &) = delete;
    DBusMock &operator=(const DBusMock &) = delete;

    // Starts the mock and waits until it owns the service name; false (with a warning) otherwise.
    bool start(const QString &serviceName, const QString &objectPath);
    void stop();

    // The calls the mock recorded on its main object, oldest first, with the D-Bus typed values as
    // Qt demarshals them (a map stays a QDBusArgument).
    QList<Call> calls() const;
    // Emits a signal from the mock's own connection: Qt drops signals from any other sender.
    bool emitSignal(const QString &interface, const QString &name, const QString &signature,
                    const QVariantList &arguments) const;

private:
    QDBusConnection connection() const;

    QString m_template;
    Bus m_bus;
    QString m_service;
    QString m_path;
    QProcess m_process;
};

} // namespace TestSupport
