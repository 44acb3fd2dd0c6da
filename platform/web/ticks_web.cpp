// The page's millisecond timer, wrapping like a 32-bit tick count.
#include "platform/ticks.h"

#include <emscripten/emscripten.h>

uint32_t readTickCount() {
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}

// The page's animation frames already pace an idle pass; blocking the page's one thread would only freeze it.
void sleepMilliseconds(uint32_t) {}
