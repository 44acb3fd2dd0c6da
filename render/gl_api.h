// The OpenGL functions the demo uses: version 1.1 calls straight from the system library, and the
// eighteen later entry points, fetched by name once the context is current.
#pragma once
#include <GL/gl.h>
#include <GL/glext.h>

// OpenGL 1.1's clamp wrap mode, by value: the ES headers of the browser build do not name it.
constexpr GLint WRAP_CLAMP = 0x2900;

struct GlEntryPoints {
    PFNGLCREATESHADERPROC createShader;
    PFNGLSHADERSOURCEPROC shaderSource;
    PFNGLCOMPILESHADERPROC compileShader;
    PFNGLCREATEPROGRAMPROC createProgram;
    PFNGLATTACHSHADERPROC attachShader;
    PFNGLLINKPROGRAMPROC linkProgram;
    PFNGLUSEPROGRAMPROC useProgram;
    PFNGLGETUNIFORMLOCATIONPROC getUniformLocation;
    PFNGLUNIFORM1FPROC uniform1f;
    PFNGLUNIFORM2FPROC uniform2f;
    PFNGLUNIFORM1IPROC uniform1i;
    PFNGLUNIFORM3FVPROC uniform3fv;
    PFNGLGETSHADERIVPROC getShaderiv;
    PFNGLGETSHADERINFOLOGPROC getShaderInfoLog;
    PFNGLDELETESHADERPROC deleteShader;
    PFNGLDELETEPROGRAMPROC deleteProgram;
    PFNGLGETPROGRAMIVPROC getProgramiv;
    PFNGLGETPROGRAMINFOLOGPROC getProgramInfoLog;
};

constexpr int GL_ENTRY_POINT_COUNT = 18;

// The names, in the order in which they are fetched; entry i fills the i-th member of GlEntryPoints.
extern const char* const GL_ENTRY_POINT_NAMES[GL_ENTRY_POINT_COUNT];

extern GlEntryPoints gl;

// Fetches all of them by name, in table order. Returns the name of the first one the driver did not give,
// or nullptr when all are there.
const char* loadGlEntryPoints();
