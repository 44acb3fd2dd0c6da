// Independent decodes and the sliding comparison of made sound with the carried track.
#include "tests/sound_match.h"
#include "tests/build_paths.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

// Shell-quoted for popen: the paths are the tests' own, but may hold spaces.
static std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<float> readFloatsFromCommand(const std::string& command) {
    std::vector<float> samples;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        float chunk[16384];
        size_t n;
        while ((n = std::fread(chunk, sizeof(float), 16384, pipe)) > 0)
            samples.insert(samples.end(), chunk, chunk + n);
        pclose(pipe);
    }
    return samples;
}

static StereoSamples readStereo(const std::string& command) {
    StereoSamples samples = readFloatsFromCommand(command);
    samples.resize(samples.size() / 2 * 2);
    return samples;
}

StereoSamples decodeMp3WithMpg123(const std::string& file) {
    return readStereo(std::string(mpg123Path()) + " -q -s -e f32 -r 44100 --stereo " + quoted(file) +
                      " 2>/dev/null");
}

StereoSamples decodeAudioWithFfmpeg(const std::string& file) {
    return readStereo("ffmpeg -v error -nostdin -i " + quoted(file) +
                      " -map 0:a:0 -f f32le -ac 2 -ar 44100 - 2>/dev/null");
}

const StereoSamples& independentSoundtrack() {
    static const StereoSamples track = decodeMp3WithMpg123(soundtrackFile());
    return track;
}

std::vector<short> readWavSamples(const std::string& path, int* sampleRate, int* channels) {
    std::ifstream file(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    *sampleRate = *channels = 0;
    if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 36, "data", 4) != 0)
        return {};
    *channels = b[22] | b[23] << 8;
    *sampleRate = static_cast<int>(b[24] | b[25] << 8 | b[26] << 16 | uint32_t(b[27]) << 24);
    std::vector<short> samples((b.size() - 44) / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<short>(b[44 + 2 * i] | b[45 + 2 * i] << 8);
    return samples;
}

// Stereo summed to one value per `block` frames: a cheap low-passed copy for the coarse search.
static std::vector<double> blockSums(const StereoSamples& samples, int block) {
    std::vector<double> sums(samples.size() / 2 / static_cast<size_t>(block));
    for (size_t i = 0; i < sums.size(); ++i)
        for (size_t k = 0; k < static_cast<size_t>(2 * block); ++k)
            sums[i] += samples[i * 2 * static_cast<size_t>(block) + k];
    return sums;
}

struct Sums {
    double product = 0.0, gotEnergy = 0.0, trackEnergy = 0.0;
};

static Sums sumsAt(const float* got, const float* track, long values) {
    Sums s;
    for (long i = 0; i < values; ++i) {
        s.product += double(got[i]) * track[i];
        s.gotEnergy += double(got[i]) * got[i];
        s.trackEnergy += double(track[i]) * track[i];
    }
    return s;
}

SoundMatch matchSound(const StereoSamples& got, const StereoSamples& track, long firstFrame, int maxLag) {
    SoundMatch best;
    const long gotFrames = static_cast<long>(got.size() / 2),
               trackFrames = static_cast<long>(track.size() / 2);
    const long from = 0, to = gotFrames;
    if (to <= from)
        return best;
    // The lags to try exactly: all of them, or around the best few of a coarse search, whose block sums
    // are a crude low-pass that can put a wrong lag first.
    std::vector<int> centres;
    int reach = maxLag;
    const int BLOCK = 16, CANDIDATES = 8;
    if (maxLag > 64 * BLOCK) {
        std::vector<double> g = blockSums(got, BLOCK), t = blockSums(track, BLOCK);
        const long gFrom = from / BLOCK, gTo = to / BLOCK;
        std::vector<std::pair<double, int>> coarse;
        for (int lag = -maxLag / BLOCK; lag <= maxLag / BLOCK; ++lag) {
            const long start = firstFrame / BLOCK + lag + gFrom;
            if (start < 0 || start + (gTo - gFrom) > static_cast<long>(t.size()))
                continue;
            double p = 0, eg = 0, et = 0;
            for (long i = 0; i < gTo - gFrom; ++i) {
                p += g[size_t(gFrom + i)] * t[size_t(start + i)];
                eg += g[size_t(gFrom + i)] * g[size_t(gFrom + i)];
                et += t[size_t(start + i)] * t[size_t(start + i)];
            }
            coarse.push_back({eg > 0 && et > 0 ? p / std::sqrt(eg * et) : 0.0,
                              lag * BLOCK - static_cast<int>(firstFrame % BLOCK)});
        }
        const size_t keep = std::min<size_t>(CANDIDATES, coarse.size());
        std::partial_sort(coarse.begin(), coarse.begin() + static_cast<long>(keep), coarse.end(),
                          [](const auto& a, const auto& b) { return a.first > b.first; });
        for (size_t i = 0; i < keep; ++i)
            centres.push_back(coarse[i].second);
        reach = 2 * BLOCK;
    } else {
        centres.push_back(0);
    }
    best.correlation = -2.0;
    for (int centre : centres)
        for (int lag = std::max(-maxLag, centre - reach); lag <= std::min(maxLag, centre + reach); ++lag) {
            const long start = firstFrame + lag + from;
            if (start < 0 || start + (to - from) > trackFrames)
                continue;
            Sums s = sumsAt(got.data() + 2 * from, track.data() + 2 * start, 2 * (to - from));
            const bool sound = s.gotEnergy > 0 && s.trackEnergy > 0;
            const double correlation = sound ? s.product / std::sqrt(s.gotEnergy * s.trackEnergy) : 0.0;
            if (correlation > best.correlation) {
                best.lagFrames = lag;
                best.correlation = correlation;
                best.levelDb = sound ? 10.0 * std::log10(s.gotEnergy / s.trackEnergy) : -200.0;
                best.trackRmsDb =
                    s.trackEnergy > 0 ? 10.0 * std::log10(s.trackEnergy / (2.0 * double(to - from))) : -200.0;
            }
        }
    if (best.correlation < -1.0)
        best.correlation = 0.0;
    return best;
}
