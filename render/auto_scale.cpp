// The automatic render scale's step rule, on the frame times of whole windows of frames.
#include "render/auto_scale.h"

#include "app/command_line.h"

#include <algorithm>

double countFrameForAutoScale(AutoScale* s, uint32_t now) {
    if (!s->started) {
        s->started = true;
        s->windowStart = now;
        s->frames = 0;
        return s->scale;
    }
    ++s->frames;
    uint32_t elapsed = now - s->windowStart;
    if (elapsed < AUTO_SCALE_WINDOW_MS)
        return s->scale;
    double frameMs = static_cast<double>(elapsed) / s->frames;
    double up = std::min(s->scale + AUTO_SCALE_STEP, MAX_RENDER_SCALE);
    double growth = (up / s->scale) * (up / s->scale);
    if (frameMs > AUTO_SCALE_TARGET_MS * AUTO_SCALE_SLOW)
        s->scale = std::max(s->scale - AUTO_SCALE_STEP, MIN_RENDER_SCALE);
    else if (frameMs * growth < AUTO_SCALE_TARGET_MS * AUTO_SCALE_SPARE)
        s->scale = up;
    s->windowStart = now;
    s->frames = 0;
    return s->scale;
}
