// The track uniform's last sent values and its lazily looked-up location, and the stages' names for them.
#include "render/track_uniform.h"

#include "render/gl_api.h"

#include <cstring>
#include <string>

const char* const TRACK_UNIFORM_NAME = "iTrack";

static float sentValues[TRACK_UNIFORM_VALUES];
static bool locationKnown = false;
static GLint location = -1;

void forgetTrackValues() {
    std::memset(sentValues, 0, sizeof sentValues);
    locationKnown = false;
    location = -1;
}

void sendTrackValues(unsigned program, const float* values) {
    // Compared bit for bit: -0 or a value that differs in its last bit is sent too.
    if (program == 0 || std::memcmp(values, sentValues, sizeof sentValues) == 0)
        return;
    if (!locationKnown) {
        location = gl.getUniformLocation(program, TRACK_UNIFORM_NAME);
        locationKnown = true;
    }
    gl.uniform3fv(location, TRACK_UNIFORM_VECTORS, values);
    std::memcpy(sentValues, values, sizeof sentValues);
}

// Only blanks may come before #version; then the names go after its line, where the preprocessor allows
// them, and a #line makes the next line of the stage keep its number.
std::string withTrackNames(const char* source) {
    const char* p = source;
    int lines = 0;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        lines += *p++ == '\n' ? 1 : 0;
    size_t split = 0;
    if (std::strncmp(p, "#version", 8) == 0) {
        const char* end = std::strchr(p, '\n');
        split = end != nullptr ? static_cast<size_t>(end - source) + 1 : std::strlen(source);
        lines += 1;
    }
    std::string assembled(source, split);
    if (split > 0 && assembled.back() != '\n')
        assembled += '\n';
    assembled += TRACK_STAGE_NAMES;
    assembled += "#line " + std::to_string(split > 0 ? lines + 1 : 1) + "\n";
    assembled += source + split;
    return assembled;
}
