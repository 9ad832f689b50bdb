#include "platform/wayland/EglFunctions.h"

namespace Platform::Wayland {

EglFunctions EglFunctions::system()
{
    EglFunctions functions;
    functions.getDisplay = eglGetDisplay;
    functions.initialize = eglInitialize;
    functions.queryString = eglQueryString;
    functions.getProcAddress = eglGetProcAddress;
    functions.bindApi = eglBindAPI;
    functions.chooseConfig = eglChooseConfig;
    functions.createContext = eglCreateContext;
    functions.destroyContext = eglDestroyContext;
    functions.makeCurrent = eglMakeCurrent;
    return functions;
}

} // namespace Platform::Wayland
