// Reads the driver's shading-language version and says whether "#version 330" can compile.
#include "render/gl_support.h"

#include "render/gl_api.h"

#include <cstdio>

static const char* stringOrNone(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "(none)";
}

bool contextRunsGlsl330(char* why, int whySize) {
    int major = 0, minor = 0;
    const GLubyte* glsl = glGetString(GL_SHADING_LANGUAGE_VERSION);
    if (glsl != nullptr && std::sscanf(reinterpret_cast<const char*>(glsl), "%d.%d", &major, &minor) == 2 &&
        major * 100 + minor >= 330)
        return true;
    std::snprintf(why, static_cast<size_t>(whySize), "OpenGL %s, GLSL %s, renderer %s",
                  stringOrNone(GL_VERSION), stringOrNone(GL_SHADING_LANGUAGE_VERSION),
                  stringOrNone(GL_RENDERER));
    return false;
}
