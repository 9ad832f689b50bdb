#include "PipeWireTestSource.h"

#include <QTest>

#include "ChildProcess.h"

using namespace Qt::StringLiterals;

namespace TestSupport {

namespace {

QString helperPath()
{
    const QString helper = qEnvironmentVariable("CLOCKWARDEN_HELPER_PW_TEST_SOURCE");
    return helper.isEmpty() ? QStringLiteral(CLOCKWARDEN_PW_TEST_SOURCE) : helper;
}

} // namespace

PipeWireTestSource::~PipeWireTestSource()
{
    stop();
}

bool PipeWireTestSource::start(const Options &options)
{
    if (qEnvironmentVariableIsEmpty("PIPEWIRE_RUNTIME_DIR")) {
        qWarning("no PipeWire daemon: register the test with the PipeWire runner");
        return false;
    }
    QStringList arguments{
        u"--format"_s, options.format,
        u"--color"_s,  u"%1"_s.arg(uint(options.color.rgb() & 0xffffff), 6, 16, QChar(u'0')),
        u"--size"_s,   u"%1x%2"_s.arg(options.size.width()).arg(options.size.height()),
        u"--pad"_s,    QString::number(options.rowPadding)
    };
    if (options.strideZero)
        arguments << u"--stride-zero"_s;
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setReadChannel(QProcess::StandardOutput);
    m_process.start(helperPath(), arguments);
    if (!m_process.waitForStarted()) {
        qWarning("pw-test-source did not start: %s", qPrintable(m_process.errorString()));
        return false;
    }
    (void)QTest::qWaitFor([this] { return m_process.canReadLine(); }, 10000);
    const QByteArray line = m_process.readLine().trimmed();
    if (!line.startsWith("node ")) {
        qWarning("pw-test-source gave no node id: %s",
                 m_process.readAllStandardError().constData());
        stop();
        return false;
    }
    m_nodeId = line.mid(5).toUInt();
    return true;
}

void PipeWireTestSource::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    stopChildProcess(m_process);
}

} // namespace TestSupport
