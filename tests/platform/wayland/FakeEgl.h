#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include "platform/wayland/EglFunctions.h"

// A scripted EGL and OpenGL ES driver behind an EglFunctions table. One fake at a time: the table
// holds plain function pointers, so the fake's state is process-wide; reset() starts afresh.
namespace FakeEgl {

struct Modifier
{
    quint64 value = 0;
    bool externalOnly = false;
};

struct Script
{
    QByteArray extensions = "EGL_KHR_surfaceless_context EGL_EXT_image_dma_buf_import "
                            "EGL_KHR_get_all_proc_addresses EGL_EXT_image_dma_buf_import_modifiers "
                            "EGL_KHR_no_config_context";
    bool display = true;
    bool initializes = true;
    bool bindsApi = true;
    bool choosesConfig = true;
    bool createsContext = true;
    bool createsImage = true;
    bool framebufferComplete = true;
    QList<Modifier> modifiers;
    // The bytes R, G, B, A glReadPixels writes for every pixel.
    QByteArray pixel = QByteArray("\x10\x80\xf0\x00", 4);
};

// Every call, by name, in order.
struct Record
{
    QStringList calls;
    QList<EGLint> imageAttributes;
};

Script &script();
Record &record();
void reset();
Platform::Wayland::EglFunctions functions();

} // namespace FakeEgl
