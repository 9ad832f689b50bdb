// The PipeWire half of WaylandScreenCapturer: streams, buffers and captureScreens().
#include "platform/wayland/WaylandScreenCapturer.h"

#include <mutex>

#include <pipewire/pipewire.h>
#include <spa/buffer/buffer.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QMutexLocker>

#include "platform/wayland/DmaBufImporter.h"
#include "platform/wayland/PipeWireFormats.h"
#include "platform/wayland/PipeWireState.h"
#include "storage/Log.h"

using namespace Qt::StringLiterals;

namespace Platform::Wayland {

namespace {

constexpr int captureWaitMs = 1500;

void logInfo(const QString &message)
{
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Info, message);
}

qint64 monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

} // namespace

void WaylandScreenCapturer::initPipeWireOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

std::unique_ptr<IDmaBufImporter> WaylandScreenCapturer::makeImporter() const
{
    if (m_hooks.makeImporter)
        return m_hooks.makeImporter();
    return std::make_unique<DmaBufImporter>();
}

void WaylandScreenCapturer::startPipeWire(int fd, const QList<quint32> &nodeIds)
{
    if (m_hooks.startPipeWire) {
        m_hooks.startPipeWire(fd, nodeIds);
        return;
    }
    startPipeWireStreams(fd, nodeIds);
}

void WaylandScreenCapturer::startPipeWireStreams(int fd, const QList<quint32> &nodeIds)
{
    if (m_pipeWire) {
        // The session that handed over this descriptor stays open; only the old one goes.
        const QString session = std::exchange(m_sessionHandle, QString());
        teardown(false);
        m_sessionHandle = session;
    }
    initPipeWireOnce();

    m_pipeWire = std::make_unique<PipeWireState>();
    m_pipeWire->sessionHandle = m_sessionHandle;
    m_pipeWire->loop = pw_thread_loop_new("tembrix-screencast", nullptr);
    if (!m_pipeWire->loop) {
        ::close(fd);
        m_pipeWire.reset();
        closePortalSession();
        return;
    }
    m_pipeWire->context = pw_context_new(pw_thread_loop_get_loop(m_pipeWire->loop), nullptr, 0);
    if (!m_pipeWire->context) {
        teardown(false);
        ::close(fd);
        return;
    }
    m_pipeWire->core = pw_context_connect_fd(m_pipeWire->context, fd, nullptr, 0);
    if (!m_pipeWire->core) {
        teardown(false);
        return;
    }

    QList<DmaBufFormat> dmaBufFormats;
    m_pipeWire->importer = makeImporter();
    dmaBufFormats = offeredDmaBufFormats(*m_pipeWire->importer);
    if (!dmaBufFormats.isEmpty()) {
        logInfo(u"WaylandScreenCapturer: DMA-BUF enabled for %1 format(s)"_s.arg(
                dmaBufFormats.size()));
    } else {
        m_pipeWire->importer.reset();
        logInfo(u"WaylandScreenCapturer: no DMA-BUF modifiers — shm only"_s);
    }

    static const pw_stream_events streamEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed
                = [](void *data, pw_stream_state oldState, pw_stream_state newState,
                     const char *error) { onStreamStateChanged(data, oldState, newState, error); };
        events.param_changed = onStreamParamChanged;
        events.process = onStreamProcess;
        return events;
    }();

    for (qsizetype j = 0; j < nodeIds.size(); ++j) {
        auto record = std::make_unique<StreamData>();
        record->capturer = this;
        record->index = int(j);
        record->stream
                = pw_stream_new(m_pipeWire->core, "tembrix-capture",
                                pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                  "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        if (!record->stream)
            continue;
        pw_stream_add_listener(record->stream, &record->listener, &streamEvents, record.get());

        uint8_t buffer[formatParamsBufferSize];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        QList<const spa_pod *> params = buildFormatParams(builder, dmaBufFormats);
        // The node goes in target_id: as PW_KEY_TARGET_OBJECT, PipeWire 0.3.65 may link another
        // source without a word.
        pw_stream_connect(record->stream, PW_DIRECTION_INPUT, nodeIds.at(j),
                          pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                          params.data(), uint32_t(params.size()));
        m_pipeWire->streamRecords.push_back(std::move(record));
    }

    if (m_pipeWire->streamRecords.empty()) {
        teardown(false);
        return;
    }
    const int streamCount = int(m_pipeWire->streamRecords.size());
    {
        QMutexLocker locker(&m_frameMutex);
        m_frames.clear();
        m_streamsWithFrame = 0;
        m_streamCount = streamCount;
    }
    pw_thread_loop_start(m_pipeWire->loop);
    logInfo(u"WaylandScreenCapturer: PipeWire streams started (%1)"_s.arg(streamCount));
}

void WaylandScreenCapturer::destroyPipeWire()
{
    if (!m_pipeWire)
        return;
    // The loop's thread reads m_pipeWire until it has stopped.
    if (m_pipeWire->loop)
        pw_thread_loop_stop(m_pipeWire->loop);
    std::unique_ptr<PipeWireState> state = std::move(m_pipeWire);
    for (const auto &record : state->streamRecords) {
        if (record->stream)
            pw_stream_destroy(record->stream);
    }
    state->streamRecords.clear();
    if (state->core)
        pw_core_disconnect(state->core);
    if (state->context)
        pw_context_destroy(state->context);
    if (state->loop)
        pw_thread_loop_destroy(state->loop);
    state->importer.reset();
    if (!state->sessionHandle.isEmpty() && state->sessionHandle != m_sessionHandle) {
        m_bus.call(QDBusMessage::createMethodCall(u"org.freedesktop.portal.Desktop"_s,
                                                  state->sessionHandle,
                                                  u"org.freedesktop.portal.Session"_s, u"Close"_s),
                   QDBus::NoBlock);
    }
}

void WaylandScreenCapturer::setStreamsActive(bool active)
{
    if (!m_pipeWire || !m_pipeWire->loop)
        return;
    pw_thread_loop_lock(m_pipeWire->loop);
    for (const auto &record : m_pipeWire->streamRecords)
        pw_stream_set_active(record->stream, active);
    pw_thread_loop_unlock(m_pipeWire->loop);
}

void WaylandScreenCapturer::onStreamStateChanged(void *data, int oldState, int newState,
                                                 const char *)
{
    auto *stream = static_cast<StreamData *>(data);
    if (!endsSession(oldState, newState))
        return;
    WaylandScreenCapturer *capturer = stream->capturer;
    QMetaObject::invokeMethod(
            capturer, [capturer] { capturer->onSessionLost(); }, Qt::QueuedConnection);
}

void WaylandScreenCapturer::onStreamParamChanged(void *data, uint32_t id, const spa_pod *param)
{
    auto *stream = static_cast<StreamData *>(data);
    if (!param || id != SPA_PARAM_Format)
        return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0)
        return;

    stream->width = info.size.width;
    stream->height = info.size.height;
    stream->swapRedBlue = swapsRedBlue(info.format);
    stream->sizeValid = int32_t(info.size.width) > 0 && int32_t(info.size.height) > 0;
    stream->hasModifier = (info.flags & SPA_VIDEO_FLAG_MODIFIER) != 0;
    stream->modifier = stream->hasModifier ? info.modifier : 0;
    stream->drmFourcc = drmFourccForSpaFormat(info.format);

    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const spa_pod *buffers = buildBuffersParam(builder, stream->hasModifier);
    pw_stream_update_params(stream->stream, &buffers, 1);
}

void WaylandScreenCapturer::onStreamProcess(void *data)
{
    auto *stream = static_cast<StreamData *>(data);
    stream->capturer->processBuffer(*stream);
}

void WaylandScreenCapturer::processBuffer(StreamData &stream)
{
    pw_buffer *buffer = pw_stream_dequeue_buffer(stream.stream);
    if (!buffer)
        return;
    const qint64 now = monotonicMs();
    spa_buffer *spaBuffer = buffer->buffer;
    if (stream.sizeValid && spaBuffer->n_datas >= 1
        && shouldConvertFrame(m_capturing.load(), stream.hasImage, now, stream.lastFrameMs)) {
        const spa_data &first = spaBuffer->datas[0];
        const int width = int(stream.width);
        const int height = int(stream.height);
        if (first.type == SPA_DATA_MemPtr || first.type == SPA_DATA_MemFd) {
            const quint64 offset = first.chunk ? first.chunk->offset : 0;
            const qint64 stride = first.chunk && first.chunk->stride > 0 ? first.chunk->stride
                                                                         : qint64(width) * 4;
            // A short block is skipped like one without data: never read past the mapping.
            if (first.data && shmFrameFits(offset, stride, width, height, first.maxsize)) {
                const auto *pixels = static_cast<const uchar *>(first.data) + offset;
                storeFrame(stream.index,
                           copyShmFrame(pixels, stride, width, height, stream.swapRedBlue));
                stream.hasImage = true;
                stream.lastFrameMs = now;
            }
        } else if (first.type == SPA_DATA_DmaBuf) {
            convertDmaBufBuffer(stream, *spaBuffer, now);
        }
    }
    pw_stream_queue_buffer(stream.stream, buffer);
}

void WaylandScreenCapturer::convertDmaBufBuffer(StreamData &stream, const spa_buffer &buffer,
                                                qint64 now)
{
    const int planeCount = int(qMin<uint32_t>(buffer.n_datas, 4));
    IDmaBufImporter::PlaneInts fds{};
    IDmaBufImporter::PlaneOffsets offsets{};
    IDmaBufImporter::PlaneStrides strides{};
    for (int i = 0; i < planeCount; ++i) {
        const spa_data &plane = buffer.datas[i];
        fds[size_t(i)] = int(plane.fd);
        offsets[size_t(i)] = plane.chunk ? plane.chunk->offset : 0;
        strides[size_t(i)] = plane.chunk ? plane.chunk->stride : 0;
    }
    const QImage image = importDmaBufFrame(stream.drmFourcc, stream.modifier, int(stream.width),
                                           int(stream.height), planeCount, fds, offsets, strides);
    if (image.isNull()) {
        // The stream's next buffer is tried again.
        warnDmaBufImportFailed();
        return;
    }
    storeFrame(stream.index, image);
    stream.hasImage = true;
    stream.lastFrameMs = now;
}

QImage WaylandScreenCapturer::importDmaBufFrame(quint32 fourcc, quint64 modifier, int width,
                                                int height, int planeCount,
                                                const IDmaBufImporter::PlaneInts &fds,
                                                const IDmaBufImporter::PlaneOffsets &offsets,
                                                const IDmaBufImporter::PlaneStrides &strides)
{
    if (!m_pipeWire)
        return {};
    if (!m_pipeWire->importer)
        m_pipeWire->importer = makeImporter();
    return m_pipeWire->importer->importToImage(fourcc, modifier, width, height, planeCount, fds,
                                               offsets, strides);
}

void WaylandScreenCapturer::warnDmaBufImportFailed()
{
    if (m_dmaBufWarned)
        return;
    m_dmaBufWarned = true;
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Error,
                     u"WaylandScreenCapturer: DMA-BUF frame import failed (unsupported modifier / "
                     "driver) — dropping frame"_s);
}

void WaylandScreenCapturer::storeFrame(int index, const QImage &image)
{
    bool ready = false;
    {
        QMutexLocker locker(&m_frameMutex);
        while (m_frames.size() <= index)
            m_frames.append(QImage());
        const bool wasNull = m_frames.at(index).isNull();
        m_frames[index] = image;
        if (wasNull)
            ++m_streamsWithFrame;
        ready = m_streamCount >= 1 && m_streamsWithFrame >= m_streamCount;
        if (index >= 0 && m_capturing.load() && index < m_freshFlags.size()
            && m_freshFlags.at(index) == 0) {
            m_freshFlags[index] = 1;
            ++m_freshCount;
            m_frameArrived.wakeAll();
        }
    }
    if (ready && !m_available.exchange(true)) {
        Q_EMIT availabilityChanged();
        // Already inside the loop: its lock is held.
        if (m_pipeWire) {
            for (const auto &record : m_pipeWire->streamRecords)
                pw_stream_set_active(record->stream, false);
        }
    }
}

QList<QImage> WaylandScreenCapturer::captureScreens()
{
    if (!m_available.load() || !m_pipeWire)
        return {};
    m_capturing = true;
    {
        QMutexLocker locker(&m_frameMutex);
        m_freshCount = 0;
        m_freshFlags = QByteArray(m_streamCount, 0);
    }
    setStreamsActive(true);
    {
        QMutexLocker locker(&m_frameMutex);
        QElapsedTimer timer;
        timer.start();
        while (m_freshCount < m_streamCount) {
            const qint64 remaining = captureWaitMs - timer.elapsed();
            if (remaining <= 0)
                break;
            m_frameArrived.wait(&m_frameMutex, QDeadlineTimer(remaining));
        }
    }
    setStreamsActive(false);
    m_capturing = false;

    QList<QImage> images;
    QMutexLocker locker(&m_frameMutex);
    for (const QImage &image : std::as_const(m_frames)) {
        if (!image.isNull())
            images.append(image);
    }
    return images;
}

} // namespace Platform::Wayland
