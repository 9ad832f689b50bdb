#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

namespace TestSupport {

// The ScreenCast portal stand-in (portal/fake-portal.py) on the test's private session bus, as
// org.freedesktop.portal.Desktop. Per method it answers with a code, extra results, a delay, no
// Response, a D-Bus error or a Response ahead of the reply (configure); Start hands out the node
// ids of setStreams; OpenPipeWireRemote a socket to the PipeWire daemon of PIPEWIRE_RUNTIME_DIR.
// Every call is recorded with its D-Bus type letters (calls).
class FakePortal final
{
public:
    FakePortal() = default;
    ~FakePortal();

    FakePortal(const FakePortal &) = delete;
    FakePortal &operator=(const FakePortal &) = delete;

    // Starts the stand-in and waits until it owns its name; false (with a warning) otherwise.
    bool start();
    // Stops it and waits until the name is gone.
    void stop();

    // Keys: "code" (uint), "results" (object), "delay" (ms), "respond" (bool), "error" (a D-Bus
    // error name), "responseFirst" (bool). Merged into what the method had.
    void configure(const QString &method, const QJsonObject &behaviour);
    void setStreams(const QList<uint> &nodeIds);
    // Replaces the answer of Introspect on the portal object.
    void setIntrospection(const QString &text);
    // Each call: {"method", "signature", "path", "options": {key: [letter, value]}, "args"}.
    QJsonArray calls() const;
    QJsonArray calls(const QString &method) const;
    // Forgets the recorded calls and every configured behaviour.
    void reset();

private:
    QProcess m_process;
};

} // namespace TestSupport
