// sound_match: how closely a recording or a file's sound follows the carried track, for the tests that
// are scripts (live runs, capture jobs, the page). Prints one line of figures per window; judging them is
// the test's.
//
//   sound_match FILE AT_SECONDS MAX_LAG_MS [SECONDS [WINDOW_SECONDS]]
//
// FILE is decoded by ffmpeg; SECONDS of it (default all) are compared with the track from AT_SECONDS on,
// whole or in windows of WINDOW_SECONDS, window k against the track from AT_SECONDS + k * WINDOW_SECONDS.
#include "tests/sound_match.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 4 || argc > 6) {
        std::fprintf(stderr, "usage: sound_match FILE AT_SECONDS MAX_LAG_MS [SECONDS [WINDOW_SECONDS]]\n");
        return 2;
    }
    StereoSamples got = decodeAudioWithFfmpeg(argv[1]);
    const double at = std::atof(argv[2]), maxLagMs = std::atof(argv[3]);
    if (argc >= 5 && std::atof(argv[4]) > 0)
        got.resize(std::min(got.size(), 2 * static_cast<size_t>(std::atof(argv[4]) * 44100.0)));
    const StereoSamples& track = independentSoundtrack();
    if (got.empty() || track.empty()) {
        std::fprintf(stderr, "sound_match: nothing decoded from %s\n", got.empty() ? argv[1] : "the track");
        return 1;
    }
    const size_t window = argc == 6 ? 2 * static_cast<size_t>(std::atof(argv[5]) * 44100.0) : got.size();
    for (size_t from = 0; window > 0 && from + window <= got.size(); from += window) {
        StereoSamples part(got.begin() + static_cast<long>(from),
                           got.begin() + static_cast<long>(from + window));
        const double start = at + static_cast<double>(from / 2) / 44100.0;
        SoundMatch m =
            matchSound(part, track, std::lround(start * 44100.0), static_cast<int>(maxLagMs * 44.1));
        std::printf("at %.3f correlation %.4f lag_ms %.2f level_db %.2f track_rms_db %.1f seconds %.3f\n",
                    start, m.correlation, m.lagFrames / 44.1, m.levelDb, m.trackRmsDb,
                    part.size() / 2 / 44100.0);
    }
    return 0;
}
