// The GLSL ES 3.00 form of a "#version 330" stage for WebGL 2, made the way cmake/GlslEs.cmake makes the
// page's built-in stages: only the version line changes, and default precisions follow it. The page's
// editor converts the author's text with it at run time.
#pragma once
#include <string>

constexpr const char* DESKTOP_VERSION_LINE = "#version 330";
// The lines the ES form puts after its version line.
constexpr int ES_PRECISION_LINES = 3;

// The ES form of `source` into `es`; false (and `es` untouched) when its first line is not the desktop
// version line.
bool glslEsFromDesktop(const char* source, std::string* es);

// The line of the author's text that a line of its ES form (as a compiler numbers it) came from; the
// precisions count as the version line.
int authorLineOfEsLine(int esLine);
