// Native decode time of the carried soundtrack, for the browser benchmark's comparison: decodes it the
// way start-up does, several times, and prints the median in milliseconds.
#include "audio/soundtrack.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::vector<double> milliseconds;
    int32_t frames = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        StereoFloatTrack track = decodeSoundtrack();
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        frames = track.frames;
        if (track.frames > SILENT_FALLBACK_FRAMES)
            std::free(track.samples); // the demo keeps it; the benchmark need not
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("native decode of %d frames, median of %d: %.1f ms\n", frames, runs, milliseconds[runs / 2]);
    return 0;
}
