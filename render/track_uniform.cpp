// The track uniform's last sent values and its lazily looked-up location.
#include "render/track_uniform.h"

#include "render/gl_api.h"

#include <cstring>

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
