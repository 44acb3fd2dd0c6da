// The page program's readings for its tests and benchmark: readings's tests and benchmark take from the running module, called from JavaScript.
#include "app/page_session.h"
#include "app/transport.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"

#include <emscripten/emscripten.h>

extern "C" {

// One reading of the music clock, in seconds, while the demo plays; the held time while it is paused;
// otherwise the time of the frame that stands on the canvas, so that looking does not read a waiting
// device as a lost one.
EMSCRIPTEN_KEEPALIVE double dozReadMusicTime() {
    return pageState() == PageState::Playing ? transportTime() : musicClock.lastMusicTime;
}

// The music time of the clock's latest reading (the frame pass's own), read without a new reading.
EMSCRIPTEN_KEEPALIVE double dozLastMusicTime() {
    return musicClock.lastMusicTime;
}

// 1 once the music clock has given up on the sound's position and runs on the page timer.
EMSCRIPTEN_KEEPALIVE int dozMusicClockOnTicks() {
    return musicClock.useTicks ? 1 : 0;
}

// Decodes the embedded soundtrack once more, as start-up does; returns the milliseconds it took.
EMSCRIPTEN_KEEPALIVE double dozTimeSoundtrackDecode() {
    double start = emscripten_get_now();
    StereoFloatTrack track = decodeSoundtrack();
    double elapsed = emscripten_get_now() - start;
    releaseDecodedSoundtrack(&track);
    return elapsed;
}

// Frames in the decoded track that the sound plays.
EMSCRIPTEN_KEEPALIVE int dozTrackFrames() {
    return pcmTrack.frames;
}
}
