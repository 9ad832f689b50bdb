#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace TestSupport {

// One python3-dbusmock service on the test's private session bus (register the test with
// PRIVATE_BUS). Methods are added and their calls read through the mock's own interface
// (org.freedesktop.DBus.Mock) on the main object; adding a method again replaces its body.
// Stopped, and its name gone, when the object goes.
class DbusMock final
{
public:
    DbusMock() = default;
    ~DbusMock();

    DbusMock(const DbusMock &) = delete;
    DbusMock &operator=(const DbusMock &) = delete;

    // A bare mock owning busName with one object; false (with a warning) when it did not come up.
    bool start(const QString &busName, const QString &path, const QString &interface);
    // A mock from one of python3-dbusmock's templates, e.g. "notification_daemon".
    bool startTemplate(const QString &templateName, const QString &busName, const QString &path);
    void stop();

    // body is Python run by the mock: `args` holds the arguments, `ret = ...` sets the reply.
    bool addMethod(const QString &interface, const QString &name, const QString &inSignature,
                   const QString &outSignature, const QString &body, const QString &path = {});
    int callCount(const QString &method, const QString &path = {}) const;
    void clearCalls(const QString &path = {});

private:
    bool waitForName();

    QProcess m_process;
    QString m_busName;
    QString m_path;
};

} // namespace TestSupport
