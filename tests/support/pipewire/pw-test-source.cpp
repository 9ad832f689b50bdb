// A self-driving PipeWire video source of one solid colour, for screen-cast tests.
//
//   pw-test-source --format RGBx|BGRx --color RRGGBB [--size WxH] [--pad BYTES] [--stride-zero]
//
// Prints "node <id>" on standard output once the node exists, then sends a frame every 100 ms
// while a consumer is linked. Its framerate is 0/1 (variable), so a consumer offering 0/1..2/1
// links to it. --pad adds bytes after each row; --stride-zero writes 0 as the chunk stride.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <pipewire/pipewire.h>
#include <spa/param/buffers.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

namespace {

struct Source
{
    pw_main_loop *loop = nullptr;
    pw_stream *stream = nullptr;
    spa_hook listener{};
    spa_source *timer = nullptr;
    uint32_t format = SPA_VIDEO_FORMAT_BGRx;
    uint8_t red = 0, green = 0, blue = 0;
    uint32_t width = 64;
    uint32_t height = 48;
    uint32_t pad = 0;
    bool strideZero = false;
    bool announced = false;
    bool streaming = false;
};

uint32_t strideOf(const Source &s)
{
    return s.width * 4 + s.pad;
}

void onStateChanged(void *data, pw_stream_state, pw_stream_state state, const char *)
{
    auto *s = static_cast<Source *>(data);
    s->streaming = state == PW_STREAM_STATE_STREAMING;
    const uint32_t node = pw_stream_get_node_id(s->stream);
    if (!s->announced && node != SPA_ID_INVALID) {
        s->announced = true;
        std::printf("node %u\n", node);
        std::fflush(stdout);
    }
}

void onParamChanged(void *data, uint32_t id, const spa_pod *param)
{
    auto *s = static_cast<Source *>(data);
    if (!param || id != SPA_PARAM_Format)
        return;
    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const auto *buffers = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(int(strideOf(*s) * s->height)),
            SPA_PARAM_BUFFERS_stride, SPA_POD_Int(int(strideOf(*s))), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
    pw_stream_update_params(s->stream, &buffers, 1);
}

void onProcess(void *data)
{
    auto *s = static_cast<Source *>(data);
    pw_buffer *b = pw_stream_dequeue_buffer(s->stream);
    if (!b)
        return;
    spa_data &d = b->buffer->datas[0];
    if (d.data && d.maxsize >= strideOf(*s) * s->height) {
        auto *bytes = static_cast<uint8_t *>(d.data);
        const bool rgb = s->format == SPA_VIDEO_FORMAT_RGBx;
        for (uint32_t y = 0; y < s->height; ++y) {
            uint8_t *row = bytes + y * strideOf(*s);
            for (uint32_t x = 0; x < s->width; ++x) {
                row[x * 4 + 0] = rgb ? s->red : s->blue;
                row[x * 4 + 1] = s->green;
                row[x * 4 + 2] = rgb ? s->blue : s->red;
                row[x * 4 + 3] = 0;
            }
            // Padding of a colour no image should ever show.
            std::memset(row + s->width * 4, 0x5a, s->pad);
        }
        d.chunk->offset = 0;
        d.chunk->stride = s->strideZero ? 0 : int32_t(strideOf(*s));
        d.chunk->size = strideOf(*s) * s->height;
    }
    pw_stream_queue_buffer(s->stream, b);
}

void onTimer(void *data, uint64_t)
{
    auto *s = static_cast<Source *>(data);
    if (s->streaming)
        pw_stream_trigger_process(s->stream);
}

void onSignal(void *data, int)
{
    pw_main_loop_quit(static_cast<Source *>(data)->loop);
}

bool parseArguments(int argc, char **argv, Source &s)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--stride-zero") {
            s.strideZero = true;
        } else if (!value) {
            return false;
        } else if (arg == "--format") {
            s.format = std::string(value) == "RGBx" ? SPA_VIDEO_FORMAT_RGBx : SPA_VIDEO_FORMAT_BGRx;
            ++i;
        } else if (arg == "--color") {
            const unsigned long rgb = std::strtoul(value, nullptr, 16);
            s.red = uint8_t(rgb >> 16);
            s.green = uint8_t(rgb >> 8);
            s.blue = uint8_t(rgb);
            ++i;
        } else if (arg == "--size") {
            if (std::sscanf(value, "%ux%u", &s.width, &s.height) != 2)
                return false;
            ++i;
        } else if (arg == "--pad") {
            s.pad = uint32_t(std::strtoul(value, nullptr, 10));
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Source s;
    if (!parseArguments(argc, argv, s)) {
        std::fprintf(stderr, "usage: pw-test-source --format RGBx|BGRx --color RRGGBB "
                             "[--size WxH] [--pad BYTES] [--stride-zero]\n");
        return 2;
    }
    pw_init(&argc, &argv);
    s.loop = pw_main_loop_new(nullptr);
    pw_loop *loop = pw_main_loop_get_loop(s.loop);
    pw_loop_add_signal(loop, SIGINT, onSignal, &s);
    pw_loop_add_signal(loop, SIGTERM, onSignal, &s);

    static pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = onStateChanged;
    events.param_changed = onParamChanged;
    events.process = onProcess;

    s.stream = pw_stream_new_simple(loop, "clockwarden-test-source",
                                    pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source",
                                                      PW_KEY_NODE_NAME, "clockwarden-test-source",
                                                      nullptr),
                                    &events, &s);

    uint8_t buffer[1024];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_rectangle size{ s.width, s.height };
    spa_fraction rate{ 0, 1 };
    const auto *format = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
            SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(s.format),
            SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
            SPA_POD_Fraction(&rate)));
    const spa_pod *params[] = { format };
    pw_stream_connect(s.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                      pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS), params,
                      1);

    s.timer = pw_loop_add_timer(loop, onTimer, &s);
    timespec first{ 0, 100 * 1000 * 1000 };
    timespec interval{ 0, 100 * 1000 * 1000 };
    pw_loop_update_timer(loop, s.timer, &first, &interval, false);

    pw_main_loop_run(s.loop);
    pw_stream_destroy(s.stream);
    pw_main_loop_destroy(s.loop);
    pw_deinit();
    return 0;
}
