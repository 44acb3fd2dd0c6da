// Compile logs go to the browser's console.
#include "platform/debug_output.h"

#include <emscripten/console.h>

void writeDebugOutput(const char* text) {
    emscripten_console_error(text);
}
