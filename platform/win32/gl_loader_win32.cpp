// Entry points through WGL.
#include "platform/gl_loader.h"

#include <windows.h>

void* lookupGlEntryPoint(const char* name) {
    PROC entry = wglGetProcAddress(name);
    // Some drivers answer a failed lookup with a small number instead of null.
    auto value = reinterpret_cast<INT_PTR>(entry);
    if (value == 1 || value == 2 || value == 3 || value == -1)
        return nullptr;
    return reinterpret_cast<void*>(entry);
}
