#pragma once

// Keeps eglplatform.h from pulling in Xlib, whose macros (None, Status, Bool) break Qt headers.
#ifndef EGL_NO_X11
#define EGL_NO_X11
#endif
#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace Platform::Wayland {

// The EGL calls the DMA-BUF importer makes directly. Everything else it resolves through
// getProcAddress, so a test table can stand in for the whole driver.
struct EglFunctions
{
    EGLDisplay (*getDisplay)(EGLNativeDisplayType display) = nullptr;
    EGLBoolean (*initialize)(EGLDisplay display, EGLint *major, EGLint *minor) = nullptr;
    const char *(*queryString)(EGLDisplay display, EGLint name) = nullptr;
    __eglMustCastToProperFunctionPointerType (*getProcAddress)(const char *name) = nullptr;
    EGLBoolean (*bindApi)(EGLenum api) = nullptr;
    EGLBoolean (*chooseConfig)(EGLDisplay display, const EGLint *attributes, EGLConfig *configs,
                               EGLint size, EGLint *count)
            = nullptr;
    EGLContext (*createContext)(EGLDisplay display, EGLConfig config, EGLContext shareContext,
                                const EGLint *attributes)
            = nullptr;
    EGLBoolean (*destroyContext)(EGLDisplay display, EGLContext context) = nullptr;
    EGLBoolean (*makeCurrent)(EGLDisplay display, EGLSurface draw, EGLSurface read,
                              EGLContext context)
            = nullptr;

    // The functions of the system's libEGL.
    static EglFunctions system();
};

} // namespace Platform::Wayland
