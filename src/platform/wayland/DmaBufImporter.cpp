#include "platform/wayland/DmaBufImporter.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <QList>

#include "storage/Log.h"

#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace Platform::Wayland {

namespace {

constexpr quint64 drmFormatModInvalid = 0x00ffffffffffffffULL;

void logError(const QString &message)
{
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Error, message);
}

bool hasExtension(const char *extensions, const char *name)
{
    return extensions && std::strstr(extensions, name);
}

// The per-plane attribute names of EGL_EXT_image_dma_buf_import(_modifiers), by plane.
struct PlaneAttributes
{
    EGLint fd, offset, pitch, modifierLo, modifierHi;
};

constexpr PlaneAttributes planeAttributes[4] = {
    { EGL_DMA_BUF_PLANE0_FD_EXT, EGL_DMA_BUF_PLANE0_OFFSET_EXT, EGL_DMA_BUF_PLANE0_PITCH_EXT,
      EGL_DMA_BUF_PLANE0_MODIFIER_LO_EXT, EGL_DMA_BUF_PLANE0_MODIFIER_HI_EXT },
    { EGL_DMA_BUF_PLANE1_FD_EXT, EGL_DMA_BUF_PLANE1_OFFSET_EXT, EGL_DMA_BUF_PLANE1_PITCH_EXT,
      EGL_DMA_BUF_PLANE1_MODIFIER_LO_EXT, EGL_DMA_BUF_PLANE1_MODIFIER_HI_EXT },
    { EGL_DMA_BUF_PLANE2_FD_EXT, EGL_DMA_BUF_PLANE2_OFFSET_EXT, EGL_DMA_BUF_PLANE2_PITCH_EXT,
      EGL_DMA_BUF_PLANE2_MODIFIER_LO_EXT, EGL_DMA_BUF_PLANE2_MODIFIER_HI_EXT },
    { EGL_DMA_BUF_PLANE3_FD_EXT, EGL_DMA_BUF_PLANE3_OFFSET_EXT, EGL_DMA_BUF_PLANE3_PITCH_EXT,
      EGL_DMA_BUF_PLANE3_MODIFIER_LO_EXT, EGL_DMA_BUF_PLANE3_MODIFIER_HI_EXT },
};

} // namespace

struct DmaBufImporter::EglState
{
    EGLDisplay eglDisplay = EGL_NO_DISPLAY;
    EGLContext eglContext = EGL_NO_CONTEXT;
    bool hasModifiersExt = false;
    PFNEGLCREATEIMAGEKHRPROC eglCreateImageKHR = nullptr;
    PFNEGLDESTROYIMAGEKHRPROC eglDestroyImageKHR = nullptr;
    PFNGLEGLIMAGETARGETTEXTURE2DOESPROC glEGLImageTargetTexture2DOES = nullptr;
    PFNEGLQUERYDMABUFMODIFIERSEXTPROC eglQueryDmaBufModifiersEXT = nullptr;
    PFNGLGENTEXTURESPROC glGenTextures = nullptr;
    PFNGLBINDTEXTUREPROC glBindTexture = nullptr;
    PFNGLTEXPARAMETERIPROC glTexParameteri = nullptr;
    PFNGLDELETETEXTURESPROC glDeleteTextures = nullptr;
    PFNGLGENFRAMEBUFFERSPROC glGenFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC glBindFramebuffer = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC glFramebufferTexture2D = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC glCheckFramebufferStatus = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC glDeleteFramebuffers = nullptr;
    PFNGLREADPIXELSPROC glReadPixels = nullptr;
    PFNGLPIXELSTOREIPROC glPixelStorei = nullptr;
};

DmaBufImporter::DmaBufImporter(const EglFunctions &egl)
    : m_egl(egl)
{
}

DmaBufImporter::~DmaBufImporter()
{
    reset();
}

bool DmaBufImporter::failDisplay(const QString &reason)
{
    logError(u"DmaBufImporter init failed: %1"_s.arg(reason));
    m_failed = true;
    m_state.reset();
    return false;
}

bool DmaBufImporter::failContext(const QString &step)
{
    logError(u"DmaBufImporter context init failed: %1"_s.arg(step));
    m_failed = true;
    return false;
}

bool DmaBufImporter::resolveEntryPoints(EglState &state) const
{
    const auto resolve = [this](auto &slot, const char *name) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                m_egl.getProcAddress(name));
        return slot != nullptr;
    };
    bool ok = resolve(state.eglCreateImageKHR, "eglCreateImageKHR");
    ok = resolve(state.eglDestroyImageKHR, "eglDestroyImageKHR") && ok;
    ok = resolve(state.glEGLImageTargetTexture2DOES, "glEGLImageTargetTexture2DOES") && ok;
    if (state.hasModifiersExt)
        resolve(state.eglQueryDmaBufModifiersEXT, "eglQueryDmaBufModifiersEXT");
    ok = resolve(state.glGenTextures, "glGenTextures") && ok;
    ok = resolve(state.glBindTexture, "glBindTexture") && ok;
    ok = resolve(state.glTexParameteri, "glTexParameteri") && ok;
    ok = resolve(state.glDeleteTextures, "glDeleteTextures") && ok;
    ok = resolve(state.glGenFramebuffers, "glGenFramebuffers") && ok;
    ok = resolve(state.glBindFramebuffer, "glBindFramebuffer") && ok;
    ok = resolve(state.glFramebufferTexture2D, "glFramebufferTexture2D") && ok;
    ok = resolve(state.glCheckFramebufferStatus, "glCheckFramebufferStatus") && ok;
    ok = resolve(state.glDeleteFramebuffers, "glDeleteFramebuffers") && ok;
    ok = resolve(state.glReadPixels, "glReadPixels") && ok;
    ok = resolve(state.glPixelStorei, "glPixelStorei") && ok;
    return ok;
}

bool DmaBufImporter::ensureDisplay()
{
    if (m_state)
        return true;
    if (m_failed)
        return false;

    auto state = std::make_unique<EglState>();
    state->eglDisplay = m_egl.getDisplay(EGL_DEFAULT_DISPLAY);
    if (state->eglDisplay == EGL_NO_DISPLAY)
        return failDisplay(u"eglGetDisplay"_s);
    if (!m_egl.initialize(state->eglDisplay, nullptr, nullptr))
        return failDisplay(u"eglInitialize"_s);

    const char *extensions = m_egl.queryString(state->eglDisplay, EGL_EXTENSIONS);
    if (!hasExtension(extensions, "EGL_KHR_surfaceless_context"))
        return failDisplay(u"no EGL_KHR_surfaceless_context"_s);
    if (!hasExtension(extensions, "EGL_EXT_image_dma_buf_import"))
        return failDisplay(u"no EGL_EXT_image_dma_buf_import"_s);
    if (!hasExtension(extensions, "EGL_KHR_get_all_proc_addresses"))
        return failDisplay(u"no EGL_KHR_get_all_proc_addresses (cannot resolve core GL)"_s);
    state->hasModifiersExt = hasExtension(extensions, "EGL_EXT_image_dma_buf_import_modifiers");

    if (!resolveEntryPoints(*state))
        return failDisplay(u"could not resolve GL/EGL entry points"_s);

    m_state = std::move(state);
    Core::Log::write(Core::Log::Category::Config, Core::Log::Level::Info,
                     u"DmaBufImporter: EGL display ready (modifiers ext: %1)"_s.arg(
                             m_state->hasModifiersExt ? u"yes"_s : u"no"_s));
    return true;
}

bool DmaBufImporter::isAvailable()
{
    return ensureDisplay();
}

bool DmaBufImporter::ensureContext()
{
    if (!ensureDisplay())
        return false;
    if (m_state->eglContext != EGL_NO_CONTEXT)
        return true;
    if (m_failed)
        return false;

    if (!m_egl.bindApi(EGL_OPENGL_ES_API))
        return failContext(u"eglBindAPI"_s);

    EGLConfig config = EGL_NO_CONFIG_KHR;
    const char *extensions = m_egl.queryString(m_state->eglDisplay, EGL_EXTENSIONS);
    if (!hasExtension(extensions, "EGL_KHR_no_config_context")) {
        const EGLint configAttributes[] = { EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                            EGL_OPENGL_ES2_BIT, EGL_NONE };
        EGLint count = 0;
        if (!m_egl.chooseConfig(m_state->eglDisplay, configAttributes, &config, 1, &count)
            || count < 1)
            return failContext(u"eglChooseConfig"_s);
    }

    const EGLint contextAttributes[] = { EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE };
    const EGLContext context
            = m_egl.createContext(m_state->eglDisplay, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT)
        return failContext(u"eglCreateContext"_s);
    m_state->eglContext = context;
    return true;
}

QList<quint64> DmaBufImporter::supportedModifiers(quint32 fourcc)
{
    if (!ensureDisplay() || !m_state->hasModifiersExt || !m_state->eglQueryDmaBufModifiersEXT)
        return {};

    EGLint count = 0;
    if (!m_state->eglQueryDmaBufModifiersEXT(m_state->eglDisplay, EGLint(fourcc), 0, nullptr,
                                             nullptr, &count)
        || count <= 0)
        return {};

    std::vector<EGLuint64KHR> modifiers(size_t(count), 0);
    std::vector<EGLBoolean> externalOnly(size_t(count), EGL_FALSE);
    EGLint returned = 0;
    if (!m_state->eglQueryDmaBufModifiersEXT(m_state->eglDisplay, EGLint(fourcc), count,
                                             modifiers.data(), externalOnly.data(), &returned))
        return {};

    QList<quint64> usable;
    for (EGLint i = 0; i < returned && i < count; ++i) {
        if (!externalOnly[size_t(i)])
            usable.append(modifiers[size_t(i)]);
    }
    return usable;
}

QImage DmaBufImporter::importToImage(quint32 fourcc, quint64 modifier, int width, int height,
                                     int planeCount, const PlaneInts &fds,
                                     const PlaneOffsets &offsets, const PlaneStrides &strides)
{
    if (width <= 0 || height <= 0 || planeCount < 1 || planeCount > 4 || !ensureContext())
        return {};
    EglState &s = *m_state;
    if (!m_egl.makeCurrent(s.eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, s.eglContext))
        return {};

    const bool withModifier = modifier != drmFormatModInvalid && s.hasModifiersExt;
    QList<EGLint> attributes
            = { EGL_WIDTH, width, EGL_HEIGHT, height, EGL_LINUX_DRM_FOURCC_EXT, EGLint(fourcc) };
    for (int i = 0; i < planeCount; ++i) {
        const PlaneAttributes &names = planeAttributes[i];
        attributes << names.fd << fds[size_t(i)] << names.offset << EGLint(offsets[size_t(i)])
                   << names.pitch << strides[size_t(i)];
        if (withModifier) {
            attributes << names.modifierLo << EGLint(modifier & 0xffffffffU) << names.modifierHi
                       << EGLint(modifier >> 32);
        }
    }
    attributes << EGL_NONE;

    const EGLImageKHR image = s.eglCreateImageKHR(
            s.eglDisplay, EGL_NO_CONTEXT, EGL_LINUX_DMA_BUF_EXT, nullptr, attributes.data());
    if (image == EGL_NO_IMAGE_KHR) {
        logError(u"DmaBufImporter: eglCreateImageKHR failed (fourcc=%1)"_s.arg(fourcc));
        m_egl.makeCurrent(s.eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        return {};
    }

    GLuint texture = 0;
    s.glGenTextures(1, &texture);
    s.glBindTexture(GL_TEXTURE_2D, texture);
    s.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    s.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    s.glEGLImageTargetTexture2DOES(GL_TEXTURE_2D, static_cast<GLeglImageOES>(image));

    GLuint framebuffer = 0;
    s.glGenFramebuffers(1, &framebuffer);
    s.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    s.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);

    QImage result;
    if (s.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) {
        result = QImage(width, height, QImage::Format_RGBX8888);
        s.glPixelStorei(GL_PACK_ALIGNMENT, 1);
        s.glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, result.bits());
        // RGBX8888 means an alpha of 255, and Qt trusts the byte: a driver's 0 would make the
        // picture transparent, black once scaled.
        uchar *bytes = result.bits();
        const qsizetype size = result.sizeInBytes();
        for (qsizetype i = 3; i < size; i += 4)
            bytes[i] = 0xff;
    } else {
        logError(u"DmaBufImporter: incomplete FBO"_s);
    }

    s.glBindFramebuffer(GL_FRAMEBUFFER, 0);
    s.glDeleteFramebuffers(1, &framebuffer);
    s.glBindTexture(GL_TEXTURE_2D, 0);
    s.glDeleteTextures(1, &texture);
    s.eglDestroyImageKHR(s.eglDisplay, image);
    m_egl.makeCurrent(s.eglDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    return result;
}

void DmaBufImporter::reset()
{
    if (m_state && m_state->eglContext != EGL_NO_CONTEXT)
        m_egl.destroyContext(m_state->eglDisplay, m_state->eglContext);
    m_state.reset();
}

} // namespace Platform::Wayland
