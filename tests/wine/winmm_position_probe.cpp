// Windows console probe for the wave device under Wine: loops a short track through the demo's winmm
// playback and prints the device's sample position against the elapsed milliseconds, one line per poll.
// Usage: winmm_position_probe [SECONDS]
#include "platform/sound_device.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

constexpr int32_t TRACK_FRAMES = 22050; // half a second

int main(int argc, char** argv) {
    double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    static std::vector<int16_t> track(TRACK_FRAMES * 2);
    for (int32_t i = 0; i < TRACK_FRAMES; ++i) // a quiet 441 Hz square wave
        track[2 * i] = track[2 * i + 1] = static_cast<int16_t>((i / 50) % 2 ? 2000 : -2000);

    if (!openLoopingSound(track.data(), TRACK_FRAMES)) {
        std::printf("no-device\n");
        return 3;
    }
    std::printf("track-frames %d\n", TRACK_FRAMES);
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        uint32_t position = 0;
        bool ok = readSoundPosition(&position);
        std::printf("%lu %s %lu\n", static_cast<unsigned long>(elapsed), ok ? "samples" : "none",
                    static_cast<unsigned long>(position));
        if (elapsed >= seconds * 1000.0)
            break;
        Sleep(20);
    }
    std::fflush(stdout);
    return 0;
}
