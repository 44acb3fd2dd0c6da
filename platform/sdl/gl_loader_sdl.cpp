// Entry points through SDL.
#include "platform/gl_loader.h"

#include <SDL.h>

void* lookupGlEntryPoint(const char* name) {
    return SDL_GL_GetProcAddress(name);
}
