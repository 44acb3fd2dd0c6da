// Entry points from emscripten's WebGL 2 library: the same sixteen functions, taken by name from a table.
#include "platform/gl_loader.h"

#include <GLES3/gl3.h>

#include <cstring>

namespace {
struct NamedEntryPoint {
    const char* name;
    void* entry;
};
} // namespace

#define DOZ_ENTRY(function)                                                                                  \
    { #function, reinterpret_cast < void*>(&function) }

static const NamedEntryPoint WEBGL_ENTRY_POINTS[] = {
    DOZ_ENTRY(glCreateShader),  DOZ_ENTRY(glShaderSource),       DOZ_ENTRY(glCompileShader),
    DOZ_ENTRY(glCreateProgram), DOZ_ENTRY(glAttachShader),       DOZ_ENTRY(glLinkProgram),
    DOZ_ENTRY(glUseProgram),    DOZ_ENTRY(glGetUniformLocation), DOZ_ENTRY(glUniform1f),
    DOZ_ENTRY(glUniform2f),     DOZ_ENTRY(glUniform1i),          DOZ_ENTRY(glUniform3fv),
    DOZ_ENTRY(glGetShaderiv),   DOZ_ENTRY(glGetShaderInfoLog),   DOZ_ENTRY(glDeleteShader),
    DOZ_ENTRY(glDeleteProgram), DOZ_ENTRY(glGetProgramiv),       DOZ_ENTRY(glGetProgramInfoLog),
};

void* lookupGlEntryPoint(const char* name) {
    for (const NamedEntryPoint& known : WEBGL_ENTRY_POINTS)
        if (std::strcmp(known.name, name) == 0)
            return known.entry;
    return nullptr;
}
