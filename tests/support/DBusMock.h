#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QVariantList>

namespace TestSupport {

// A python3-dbusmock service started from one of its templates ("logind",
// "notification_daemon") on the private session or system bus of the test (register the test
// with PRIVATE_BUS or SYSTEM_BUS). With an empty template name the mock starts bare: its main
// object has the interface given to start() and the methods added with addMethod(). The service
// is stopped when the object goes.
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
    // The interface names the main object's interface of a bare mock.
    bool start(const QString &serviceName, const QString &objectPath,
               const QString &interface = QString());
    void stop();

    // The calls the mock recorded on its main object, oldest first, with the D-Bus typed values as
    // Qt demarshals them (a map stays a QDBusArgument).
    QList<Call> calls() const;
    int callCount(const QString &method) const;
    void clearCalls() const;
    // Adds (or replaces) a method of the main object. body is Python run by the mock: `args`
    // holds the arguments and `ret = ...` sets the reply.
    bool addMethod(const QString &interface, const QString &name, const QString &inSignature,
                   const QString &outSignature, const QString &body) const;
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
