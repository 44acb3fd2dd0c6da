// Looks up OpenGL entry points beyond version 1.1 by name, with the context current.
#pragma once

void* lookupGlEntryPoint(const char* name);
