// Compile logs go to an attached debugger.
#include "platform/debug_output.h"

#include <windows.h>

void writeDebugOutput(const char* text) {
    OutputDebugStringA(text);
}
