// Reports what the demo will make of an MP3 file: its decoded length, its loudness envelope, and the beat
// onsets the frame loop sees at 60 frames per second, counted per act and per bar.
// Usage: soundtrack_report FILE.mp3
#include "audio/loudness_envelope.h"
#include "audio/soundtrack.h"

#include <cstdio>
#include <vector>

constexpr double FPS = 60.0;

static std::vector<unsigned char> readFile(const char* path) {
    std::vector<unsigned char> bytes;
    if (std::FILE* f = std::fopen(path, "rb")) {
        unsigned char chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.mp3\n", argv[0]);
        return 2;
    }
    std::vector<unsigned char> bytes = readFile(argv[1]);
    StereoFloatTrack track = decodeSoundtrackBytes(bytes.data(), bytes.size());
    buildLoudnessEnvelope(track);
    std::printf("%zu bytes, %d stereo frames (%.3f s), %d envelope blocks\n", bytes.size(), track.frames,
                track.frames / double(SAMPLE_RATE), loudnessEnvelope.blockCount);
    int loudest = 0;
    for (int b = 0; b < loudnessEnvelope.blockCount; ++b)
        if (loudnessEnvelope.values[b] > loudnessEnvelope.values[loudest])
            loudest = b;
    std::printf("loudest block %d at %.2f s\n", loudest,
                loudest * double(ENVELOPE_BLOCK_FRAMES) / SAMPLE_RATE);

    struct Act {
        const char* name;
        double from, to;
        int onsets;
    } acts[] = {{"intro", 0, 40, 0},
                {"drop", 40, 52, 0},
                {"orbit", 52, 62, 0},
                {"groove", 62, 124, 0},
                {"outro", 124, track.frames / double(SAMPLE_RATE), 0}};
    std::vector<int> perBar(static_cast<size_t>(track.frames / (BAR_SECONDS * SAMPLE_RATE)) + 1, 0);
    int between40and124 = 0;
    for (int frame = 0;; ++frame) {
        double t = frame / FPS;
        if (t >= track.frames / double(SAMPLE_RATE))
            break;
        int before = beatOnsetState.onsetCount;
        nextBeatHalf(beatAt(t));
        if (beatOnsetState.onsetCount == before)
            continue;
        for (Act& act : acts)
            if (t >= act.from && t < act.to)
                ++act.onsets;
        perBar[static_cast<size_t>(t / BAR_SECONDS)] += 1;
        if (t >= 40.0 && t < 124.0)
            ++between40and124;
    }
    for (const Act& act : acts)
        std::printf("%-7s %6.1f-%6.1f s: %4d onsets\n", act.name, act.from, act.to, act.onsets);
    std::printf("onsets from 40 to 124 s at %.0f fps: %d (%d bars)\n", FPS, between40and124, 42);
    std::printf("bars from 40 to 124 s without an onset:");
    int silentBars = 0;
    for (size_t bar = 20; bar < 62 && bar < perBar.size(); ++bar)
        if (perBar[bar] == 0) {
            std::printf(" %zu", bar);
            ++silentBars;
        }
    std::printf("%s\n", silentBars == 0 ? " none" : "");
    std::printf("onsets per bar:");
    for (size_t bar = 0; bar < perBar.size(); ++bar)
        std::printf("%s%d", bar % 10 == 0 ? "\n  " : " ", perBar[bar]);
    std::printf("\n");
    return 0;
}
