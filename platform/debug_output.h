// Where a shader compile log goes besides the title: the debugger output on Windows, stderr elsewhere.
#pragma once

void writeDebugOutput(const char* text);
