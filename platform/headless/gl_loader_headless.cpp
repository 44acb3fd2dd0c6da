// Entry points through EGL.
#include "platform/gl_loader.h"

#include <EGL/egl.h>

void* lookupGlEntryPoint(const char* name) {
    return reinterpret_cast<void*>(eglGetProcAddress(name));
}
