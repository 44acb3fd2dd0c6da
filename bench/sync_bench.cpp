// The cost of the sync tracks on a frame: every track looked up at the frame's row, each track holding
// 10,000 keys of all four interpolations, the rows swept through the keys as playback does and also jumping
// about (seeks, an editor's cursor). Prints microseconds per frame; the aim is under 50.
#include "sync/sync_tracks.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using Clock = std::chrono::steady_clock;

constexpr int KEYS_PER_TRACK = 10000;
constexpr int FRAMES = 20000;

static float sink = 0.0f;

// Microseconds per frame over FRAMES frames at these rows.
static double timeFrames(const std::vector<double>& rows) {
    float values[SYNC_TRACK_COUNT];
    Clock::time_point start = Clock::now();
    for (double row : rows) {
        readTrackValues(row, values);
        sink += values[0] + values[SYNC_TRACK_COUNT - 1];
    }
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
           static_cast<double>(rows.size());
}

static double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int main(int argc, char** argv) {
    int reps = 9;
    if (argc == 3 && std::strcmp(argv[1], "--reps") == 0 && std::atoi(argv[2]) > 0) {
        reps = std::atoi(argv[2]);
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: doz-sync-bench [--reps N]\n");
        return 2;
    }
    // Keys 1 to 4 rows apart, so that each track's rows differ.
    std::srand(1);
    int lastRow = 0;
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        int row = track;
        for (int key = 0; key < KEYS_PER_TRACK; ++key) {
            float value = static_cast<float>(std::rand() % 2000) / 100.0f - 10.0f;
            if (setSyncKey(track, row, value, static_cast<uint8_t>(key % 4)) != SYNC_KEY_ADDED) {
                std::fprintf(stderr, "key %d of %s refused\n", key, SYNC_TRACK_NAMES[track]);
                return 1;
            }
            row += 1 + std::rand() % 4;
        }
        lastRow = std::max(lastRow, row);
    }

    // Playback: 60 frames a second through the whole of the keys, at whatever row rate that takes.
    std::vector<double> playing(FRAMES), jumping(FRAMES);
    for (int frame = 0; frame < FRAMES; ++frame) {
        playing[static_cast<size_t>(frame)] = static_cast<double>(frame) * lastRow / FRAMES;
        jumping[static_cast<size_t>(frame)] = static_cast<double>(std::rand()) / RAND_MAX * lastRow;
    }
    std::vector<double> playingTimes, jumpingTimes;
    for (int rep = 0; rep < reps; ++rep) {
        playingTimes.push_back(timeFrames(playing));
        jumpingTimes.push_back(timeFrames(jumping));
    }
    std::printf("sync tracks: %d tracks x %d keys, %d frames, median of %d runs\n", SYNC_TRACK_COUNT,
                KEYS_PER_TRACK, FRAMES, reps);
    std::printf("  every track per frame, playing:       %.3f us per frame (best %.3f)\n",
                median(playingTimes), *std::min_element(playingTimes.begin(), playingTimes.end()));
    std::printf("  every track per frame, random rows:   %.3f us per frame (best %.3f)\n",
                median(jumpingTimes), *std::min_element(jumpingTimes.begin(), jumpingTimes.end()));
    std::printf("  goal: under 50 us per frame  (checksum %g)\n", static_cast<double>(sink));
    return 0;
}
