// The run-time twin of the build's GLSL ES conversion.
#include "render/glsl_es.h"

#include <cstring>

// highp everywhere: music time reaches 124 s and the march needs full float precision, as on the desktop.
static const char ES_HEAD[] =
    "#version 300 es\nprecision highp float;\nprecision highp int;\nprecision highp sampler2D;";

// The first line without the spaces around it, as CMake's string(STRIP) leaves it.
static std::string strippedFirstLine(const char* source, size_t length) {
    const char* spaces = " \t\r\n";
    size_t begin = 0;
    while (begin < length && std::strchr(spaces, source[begin]) != nullptr)
        ++begin;
    size_t end = length;
    while (end > begin && std::strchr(spaces, source[end - 1]) != nullptr)
        --end;
    return std::string(source + begin, end - begin);
}

bool glslEsFromDesktop(const char* source, std::string* es) {
    const char* newline = std::strchr(source, '\n');
    if (newline == nullptr)
        return false;
    const size_t firstLength = static_cast<size_t>(newline - source);
    if (strippedFirstLine(source, firstLength) != DESKTOP_VERSION_LINE)
        return false;
    *es = ES_HEAD;
    *es += newline;
    return true;
}

int authorLineOfEsLine(int esLine) {
    return esLine > 1 + ES_PRECISION_LINES ? esLine - ES_PRECISION_LINES : 1;
}
