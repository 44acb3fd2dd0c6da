// Readings the page's tests and benchmark take from the running module, called from JavaScript.
#include "app/page_session.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"

#include <emscripten/emscripten.h>

#include <cstdlib>

extern "C" {

// One reading of the music clock, in seconds, while the demo plays; otherwise the time of the frame that
// stands on the canvas, so that looking does not read a waiting device as a lost one.
EMSCRIPTEN_KEEPALIVE double dozReadMusicTime() {
    return pageState() == PageState::Playing ? readMusicTime() : musicClock.lastMusicTime;
}

// Decodes the embedded soundtrack once more, as start-up does; returns the milliseconds it took.
EMSCRIPTEN_KEEPALIVE double dozTimeSoundtrackDecode() {
    double start = emscripten_get_now();
    StereoFloatTrack track = decodeSoundtrack();
    double elapsed = emscripten_get_now() - start;
    if (track.frames > SILENT_FALLBACK_FRAMES)
        std::free(track.samples);
    return elapsed;
}

// Frames in the decoded track that the sound plays.
EMSCRIPTEN_KEEPALIVE int dozTrackFrames() {
    return pcmTrack.frames;
}
}
