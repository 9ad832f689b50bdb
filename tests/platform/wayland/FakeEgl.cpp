#include "FakeEgl.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstring>

namespace FakeEgl {

namespace {

Script s_script;
Record s_record;
int s_displayTag = 0;
int s_contextTag = 0;
int s_imageTag = 0;
int s_configTag = 0;

void note(const char *name)
{
    s_record.calls.append(QString::fromLatin1(name));
}

EGLDisplay getDisplay(EGLNativeDisplayType)
{
    note("eglGetDisplay");
    return s_script.display ? EGLDisplay(&s_displayTag) : EGL_NO_DISPLAY;
}

EGLBoolean initialize(EGLDisplay, EGLint *, EGLint *)
{
    note("eglInitialize");
    return s_script.initializes;
}

const char *queryString(EGLDisplay, EGLint)
{
    note("eglQueryString");
    return s_script.extensions.constData();
}

EGLBoolean bindApi(EGLenum)
{
    note("eglBindAPI");
    return s_script.bindsApi;
}

EGLBoolean chooseConfig(EGLDisplay, const EGLint *, EGLConfig *configs, EGLint, EGLint *count)
{
    note("eglChooseConfig");
    *count = s_script.choosesConfig ? 1 : 0;
    if (s_script.choosesConfig)
        *configs = EGLConfig(&s_configTag);
    return EGL_TRUE;
}

EGLContext createContext(EGLDisplay, EGLConfig, EGLContext, const EGLint *)
{
    note("eglCreateContext");
    return s_script.createsContext ? EGLContext(&s_contextTag) : EGL_NO_CONTEXT;
}

EGLBoolean destroyContext(EGLDisplay, EGLContext)
{
    note("eglDestroyContext");
    return EGL_TRUE;
}

EGLBoolean makeCurrent(EGLDisplay, EGLSurface, EGLSurface, EGLContext context)
{
    note(context == EGL_NO_CONTEXT ? "eglMakeCurrent(none)" : "eglMakeCurrent");
    return EGL_TRUE;
}

EGLImageKHR createImage(EGLDisplay, EGLContext, EGLenum, EGLClientBuffer, const EGLint *attributes)
{
    note("eglCreateImageKHR");
    s_record.imageAttributes.clear();
    for (const EGLint *a = attributes; *a != EGL_NONE; ++a)
        s_record.imageAttributes.append(*a);
    return s_script.createsImage ? EGLImageKHR(&s_imageTag) : EGL_NO_IMAGE_KHR;
}

EGLBoolean destroyImage(EGLDisplay, EGLImageKHR)
{
    note("eglDestroyImageKHR");
    return EGL_TRUE;
}

EGLBoolean queryModifiers(EGLDisplay, EGLint, EGLint max, EGLuint64KHR *modifiers,
                          EGLBoolean *externalOnly, EGLint *count)
{
    note("eglQueryDmaBufModifiersEXT");
    *count = EGLint(s_script.modifiers.size());
    for (EGLint i = 0; i < max && i < *count; ++i) {
        modifiers[i] = s_script.modifiers.at(i).value;
        externalOnly[i] = s_script.modifiers.at(i).externalOnly;
    }
    return EGL_TRUE;
}

void imageTarget(GLenum, GLeglImageOES)
{
    note("glEGLImageTargetTexture2DOES");
}

void genTextures(GLsizei, GLuint *textures)
{
    note("glGenTextures");
    *textures = 7;
}

void bindTexture(GLenum, GLuint)
{
    note("glBindTexture");
}

void texParameteri(GLenum, GLenum, GLint)
{
    note("glTexParameteri");
}

void deleteTextures(GLsizei, const GLuint *)
{
    note("glDeleteTextures");
}

void genFramebuffers(GLsizei, GLuint *framebuffers)
{
    note("glGenFramebuffers");
    *framebuffers = 9;
}

void bindFramebuffer(GLenum, GLuint)
{
    note("glBindFramebuffer");
}

void framebufferTexture(GLenum, GLenum, GLenum, GLuint, GLint)
{
    note("glFramebufferTexture2D");
}

GLenum checkFramebuffer(GLenum)
{
    note("glCheckFramebufferStatus");
    return s_script.framebufferComplete ? GL_FRAMEBUFFER_COMPLETE : GL_FRAMEBUFFER_UNSUPPORTED;
}

void deleteFramebuffers(GLsizei, const GLuint *)
{
    note("glDeleteFramebuffers");
}

void readPixels(GLint, GLint, GLsizei width, GLsizei height, GLenum, GLenum, void *pixels)
{
    note("glReadPixels");
    auto *bytes = static_cast<char *>(pixels);
    for (GLsizei i = 0; i < width * height; ++i)
        std::memcpy(bytes + i * 4, s_script.pixel.constData(), 4);
}

void pixelStorei(GLenum, GLint)
{
    note("glPixelStorei");
}

template<typename Function>
__eglMustCastToProperFunctionPointerType entry(Function function)
{
    return reinterpret_cast<__eglMustCastToProperFunctionPointerType>(function);
}

__eglMustCastToProperFunctionPointerType getProcAddress(const char *name)
{
    const QByteArray n(name);
    if (n == "eglCreateImageKHR")
        return entry(createImage);
    if (n == "eglDestroyImageKHR")
        return entry(destroyImage);
    if (n == "eglQueryDmaBufModifiersEXT")
        return entry(queryModifiers);
    if (n == "glEGLImageTargetTexture2DOES")
        return entry(imageTarget);
    if (n == "glGenTextures")
        return entry(genTextures);
    if (n == "glBindTexture")
        return entry(bindTexture);
    if (n == "glTexParameteri")
        return entry(texParameteri);
    if (n == "glDeleteTextures")
        return entry(deleteTextures);
    if (n == "glGenFramebuffers")
        return entry(genFramebuffers);
    if (n == "glBindFramebuffer")
        return entry(bindFramebuffer);
    if (n == "glFramebufferTexture2D")
        return entry(framebufferTexture);
    if (n == "glCheckFramebufferStatus")
        return entry(checkFramebuffer);
    if (n == "glDeleteFramebuffers")
        return entry(deleteFramebuffers);
    if (n == "glReadPixels")
        return entry(readPixels);
    if (n == "glPixelStorei")
        return entry(pixelStorei);
    return nullptr;
}

} // namespace

Script &script()
{
    return s_script;
}

Record &record()
{
    return s_record;
}

void reset()
{
    s_script = Script();
    s_record = Record();
}

Platform::Wayland::EglFunctions functions()
{
    Platform::Wayland::EglFunctions table;
    table.getDisplay = getDisplay;
    table.initialize = initialize;
    table.queryString = queryString;
    table.getProcAddress = getProcAddress;
    table.bindApi = bindApi;
    table.chooseConfig = chooseConfig;
    table.createContext = createContext;
    table.destroyContext = destroyContext;
    table.makeCurrent = makeCurrent;
    return table;
}

} // namespace FakeEgl
