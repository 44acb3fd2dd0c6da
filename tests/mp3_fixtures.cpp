// Test helpers for the soundtrack fixtures and the reference decoder.
#include "tests/mp3_fixtures.h"
#include "tests/build_paths.h"

#include "tests/sound_match.h"

#include <cstdio>

std::string fixturePath(const char* name) {
    return std::string(fixtureDir()) + "/" + name + ".mp3";
}

std::string soundtrackPath() {
    return soundtrackFile();
}

std::vector<unsigned char> readFileBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        unsigned char chunk[65536];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

int countMpegFrames(const std::vector<unsigned char>& bytes) {
    static const int KBITS[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int RATES[4] = {44100, 48000, 32000, 0};
    size_t at = 0;
    int frames = 0;
    while (at + 4 <= bytes.size()) {
        const unsigned char* h = bytes.data() + at;
        // Sync, MPEG-1, Layer III.
        if (h[0] != 0xFF || (h[1] & 0xFE) != 0xFA)
            return -1;
        int kbits = KBITS[h[2] >> 4], rate = RATES[(h[2] >> 2) & 3], padding = (h[2] >> 1) & 1;
        if (kbits == 0 || rate == 0)
            return -1;
        at += static_cast<size_t>(144000 * kbits / rate + padding);
        ++frames;
    }
    return at == bytes.size() ? frames : -1;
}

std::vector<float> decodeWithMpg123(const std::string& path) {
    return readFloatsFromCommand(std::string(mpg123Path()) + " -q -s -e f32 '" + path + "'");
}
