// The page's millisecond timer, wrapping like a 32-bit tick count.
#include "platform/ticks.h"

#include <emscripten/emscripten.h>

uint32_t readTickCount() {
    return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
}
