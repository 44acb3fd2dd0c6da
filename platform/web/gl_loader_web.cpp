// Entry points from emscripten's WebGL 2 library, taken by name from a table of its functions.
#include "platform/gl_loader.h"

#include <GLES3/gl3.h>

#include <cstring>

namespace {
struct NamedEntryPoint {
    const char* name;
    void* entry;
};
} // namespace

// clang-format off
#define DOZ_ENTRY(function) {#function, reinterpret_cast<void*>(&function)}
// clang-format on

static const NamedEntryPoint WEBGL_ENTRY_POINTS[] = {
    // The scene program's.
    DOZ_ENTRY(glCreateShader),
    DOZ_ENTRY(glShaderSource),
    DOZ_ENTRY(glCompileShader),
    DOZ_ENTRY(glCreateProgram),
    DOZ_ENTRY(glAttachShader),
    DOZ_ENTRY(glLinkProgram),
    DOZ_ENTRY(glUseProgram),
    DOZ_ENTRY(glGetUniformLocation),
    DOZ_ENTRY(glUniform1f),
    DOZ_ENTRY(glUniform2f),
    DOZ_ENTRY(glUniform1i),
    DOZ_ENTRY(glUniform3fv),
    DOZ_ENTRY(glGetShaderiv),
    DOZ_ENTRY(glGetShaderInfoLog),
    DOZ_ENTRY(glDeleteShader),
    DOZ_ENTRY(glDeleteProgram),
    // Beyond them, what WebGL 2 has for program logs and off-screen targets, for a longer table.
    DOZ_ENTRY(glGetProgramiv),
    DOZ_ENTRY(glGetProgramInfoLog),
    DOZ_ENTRY(glDetachShader),
    DOZ_ENTRY(glUniform1fv),
    DOZ_ENTRY(glUniform2fv),
    DOZ_ENTRY(glUniform4f),
    DOZ_ENTRY(glUniform4fv),
    DOZ_ENTRY(glGenFramebuffers),
    DOZ_ENTRY(glBindFramebuffer),
    DOZ_ENTRY(glDeleteFramebuffers),
    DOZ_ENTRY(glFramebufferTexture2D),
    DOZ_ENTRY(glFramebufferRenderbuffer),
    DOZ_ENTRY(glCheckFramebufferStatus),
    DOZ_ENTRY(glBlitFramebuffer),
    DOZ_ENTRY(glGenRenderbuffers),
    DOZ_ENTRY(glBindRenderbuffer),
    DOZ_ENTRY(glDeleteRenderbuffers),
    DOZ_ENTRY(glRenderbufferStorage),
    DOZ_ENTRY(glActiveTexture),
    DOZ_ENTRY(glGenVertexArrays),
    DOZ_ENTRY(glBindVertexArray),
};

void* lookupGlEntryPoint(const char* name) {
    for (const NamedEntryPoint& known : WEBGL_ENTRY_POINTS)
        if (std::strcmp(known.name, name) == 0)
            return known.entry;
    return nullptr;
}
