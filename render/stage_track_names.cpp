// Putting the track names into a stage's text.
#include "render/stage_track_names.h"

#include "render/track_layout.h"

#include <cstdlib>
#include <cstring>
#include <string>

// Only blanks may come before #version; then the names go after its line, where the preprocessor allows
// them, and a #line makes the next line of the stage keep its number.
std::string withTrackNames(const char* source) {
    const char* p = source;
    int lines = 0;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        lines += *p++ == '\n' ? 1 : 0;
    size_t split = 0;
    // GLSL 3.30 and ES 3.00 on number the line after "#line N" as N; the versions before, and a stage
    // without a version (1.10), as N + 1.
    bool nextLineIsN = false;
    if (std::strncmp(p, "#version", 8) == 0) {
        const char* end = std::strchr(p, '\n');
        split = end != nullptr ? static_cast<size_t>(end - source) + 1 : std::strlen(source);
        lines += 1;
        const std::string line(p, source + split);
        const int version = std::atoi(line.c_str() + 8);
        nextLineIsN = version >= 330 || (version >= 300 && line.find(" es") != std::string::npos);
    }
    if (split == 0)
        lines = 0; // the names go before the stage's first line
    std::string assembled(source, split);
    if (split > 0 && assembled.back() != '\n')
        assembled += '\n';
    assembled += TRACK_STAGE_NAMES;
    assembled += "#line " + std::to_string(nextLineIsN ? lines + 1 : lines) + "\n";
    assembled += source + split;
    return assembled;
}
