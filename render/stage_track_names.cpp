// Putting the track names into a stage's text.
#include "render/stage_track_names.h"

#include "render/track_layout.h"

#include <cstdlib>
#include <cstring>
#include <string>

StageVersionLine findVersionLine(const char* source) {
    StageVersionLine line{false, 0, 0, 0, false};
    const char* p = source;
    int lines = 0;
    for (;;) {
        if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
            lines += *p++ == '\n' ? 1 : 0;
        } else if (p[0] == '/' && p[1] == '/') {
            while (*p != '\0' && *p != '\n')
                ++p;
        } else if (p[0] == '/' && p[1] == '*') {
            const char* close = std::strstr(p + 2, "*/");
            if (close == nullptr)
                return line;
            for (; p < close; ++p)
                lines += *p == '\n' ? 1 : 0;
            p = close + 2;
        } else {
            break;
        }
    }
    if (*p != '#')
        return line;
    const char* directive = p + 1;
    while (*directive == ' ' || *directive == '\t')
        ++directive;
    if (std::strncmp(directive, "version", 7) != 0)
        return line;
    const char* end = std::strchr(p, '\n');
    line.found = true;
    line.end = end != nullptr ? static_cast<size_t>(end - source) + 1 : std::strlen(source);
    line.lines = lines + 1;
    const std::string text(directive + 7, source + line.end);
    line.version = std::atoi(text.c_str());
    line.es = text.find(" es") != std::string::npos;
    return line;
}

// The names go after the version line, where the preprocessor allows them, and a #line makes the next line
// of the stage keep its number; without a version line they go first.
std::string withTrackNames(const char* source) {
    const StageVersionLine version = findVersionLine(source);
    const size_t split = version.found ? version.end : 0;
    const int lines = version.found ? version.lines : 0;
    // GLSL 3.30 and ES 3.00 on number the line after "#line N" as N; the versions before, and a stage
    // without a version (1.10), as N + 1.
    const bool nextLineIsN =
        version.found && (version.version >= 330 || (version.version >= 300 && version.es));
    std::string assembled(source, split);
    if (split > 0 && assembled.back() != '\n')
        assembled += '\n';
    assembled += TRACK_STAGE_NAMES;
    assembled += "#line " + std::to_string(nextLineIsN ? lines + 1 : lines) + "\n";
    assembled += source + split;
    return assembled;
}
