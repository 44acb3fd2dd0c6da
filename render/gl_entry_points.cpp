// The table of OpenGL entry points beyond version 1.1.
#include "render/gl_api.h"

#include "platform/gl_loader.h"

#include <cstring>

GlEntryPoints gl;

const char* const GL_ENTRY_POINT_NAMES[GL_ENTRY_POINT_COUNT] = {
    "glCreateShader",  "glShaderSource", "glCompileShader",      "glCreateProgram",    "glAttachShader",
    "glLinkProgram",   "glUseProgram",   "glGetUniformLocation", "glUniform1f",        "glUniform2f",
    "glUniform1i",     "glUniform3fv",   "glGetShaderiv",        "glGetShaderInfoLog", "glDeleteShader",
    "glDeleteProgram", "glGetProgramiv", "glGetProgramInfoLog",
};

const char* loadGlEntryPoints() {
    // The struct is one pointer per name in table order, so it is filled slot by slot.
    static_assert(sizeof(GlEntryPoints) == GL_ENTRY_POINT_COUNT * sizeof(void*), "one slot per name");
    const char* missing = nullptr;
    for (int i = 0; i < GL_ENTRY_POINT_COUNT; ++i) {
        void* entry = lookupGlEntryPoint(GL_ENTRY_POINT_NAMES[i]);
        std::memcpy(reinterpret_cast<char*>(&gl) + i * sizeof(void*), &entry, sizeof(void*));
        if (entry == nullptr && missing == nullptr)
            missing = GL_ENTRY_POINT_NAMES[i];
    }
    return missing;
}
