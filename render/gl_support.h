// Whether the current context can run the scene program.
#pragma once
#include <cstddef>

// True when the context accepts GLSL 3.30; otherwise false, with the driver's own version strings in `why`.
bool contextRunsGlsl330(char* why, size_t whySize);

// True for a shading-language version string of GLSL 3.30 or later, or of GLSL ES 3.00 or later (the
// browser's WebGL 2, which gets the stages' ES form).
bool shadingLanguageRunsScene(const char* version);
