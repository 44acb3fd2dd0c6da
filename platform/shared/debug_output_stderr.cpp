// Compile logs go to stderr where there is no debugger output.
#include "platform/debug_output.h"

#include <cstdio>

void writeDebugOutput(const char* text) {
    std::fprintf(stderr, "%s\n", text);
}
