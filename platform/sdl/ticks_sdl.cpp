// Milliseconds since SDL started, wrapping like a 32-bit tick count, and a wait on them.
#include "platform/ticks.h"

#include <SDL.h>

uint32_t readTickCount() {
    return static_cast<uint32_t>(SDL_GetTicks64());
}

void sleepMilliseconds(uint32_t milliseconds) {
    SDL_Delay(milliseconds);
}
