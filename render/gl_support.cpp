// Reads the driver's shading-language version and says whether the scene's stages can compile.
#include "render/gl_support.h"

#include "render/gl_api.h"

#include <cstdio>
#include <cstring>

static const char* stringOrNone(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "(none)";
}

bool shadingLanguageRunsScene(const char* version) {
    if (version == nullptr)
        return false;
    // WebGL 2 reports "OpenGL ES GLSL ES 3.00 (...)": its stages are built in their ES 3.00 form.
    const char* es = std::strstr(version, "GLSL ES ");
    const char* number = es != nullptr ? es + std::strlen("GLSL ES ") : version;
    int major = 0, minor = 0;
    if (std::sscanf(number, "%d.%d", &major, &minor) != 2)
        return false;
    return major * 100 + minor >= (es != nullptr ? 300 : 330);
}

bool contextRunsGlsl330(char* why, size_t whySize) {
    const GLubyte* glsl = glGetString(GL_SHADING_LANGUAGE_VERSION);
    if (shadingLanguageRunsScene(reinterpret_cast<const char*>(glsl)))
        return true;
    std::snprintf(why, whySize, "OpenGL %s, GLSL %s, renderer %s", stringOrNone(GL_VERSION),
                  stringOrNone(GL_SHADING_LANGUAGE_VERSION), stringOrNone(GL_RENDERER));
    return false;
}
