#pragma once

#include <QColor>
#include <QProcess>
#include <QSize>
#include <QString>

namespace TestSupport {

// One solid-colour PipeWire video source (the pipewire/pw-test-source helper) on the daemon of
// PIPEWIRE_RUNTIME_DIR; register the test with the PipeWire runner. Stopped when the object goes.
class PipeWireTestSource final
{
public:
    struct Options
    {
        QString format = QStringLiteral("BGRx"); // or "RGBx"
        QColor color = Qt::red;
        QSize size{ 64, 48 };
        int rowPadding = 0;
        bool strideZero = false;
    };

    PipeWireTestSource() = default;
    ~PipeWireTestSource();

    PipeWireTestSource(const PipeWireTestSource &) = delete;
    PipeWireTestSource &operator=(const PipeWireTestSource &) = delete;

    // Starts the source and waits for its node id; false (with a warning) when it does not come.
    bool start(const Options &options);
    void stop();
    uint nodeId() const { return m_nodeId; }
    qint64 processId() const { return m_process.processId(); }

private:
    QProcess m_process;
    uint m_nodeId = 0;
};

} // namespace TestSupport
