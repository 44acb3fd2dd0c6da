// The still's sink: the frame is kept until the range ends, then written under the temporary name.
#include "capture/sink_still.h"

#include "capture/png_file.h"

static bool begin(void* state, std::string* why) {
    auto* still = static_cast<StillOutput*>(state);
    return beginOutput(still->target, false, 0, &still->out, why);
}

static bool take(void* state, const CapturedFrame& frame, std::string*) {
    static_cast<StillOutput*>(state)->rgb.assign(frame.rgb, frame.rgb + frame.size);
    return true;
}

static bool finish(void* state, std::string* why) {
    auto* still = static_cast<StillOutput*>(state);
    return writePngRgb(still->out.temp, still->rgb.data(), still->width, still->height, why) &&
           commitOutput(&still->out, why);
}

static void discard(void* state, std::string*) {
    discardOutput(&static_cast<StillOutput*>(state)->out);
}

FrameSink stillSink(StillOutput* still) {
    return {still, begin, take, finish, discard};
}
