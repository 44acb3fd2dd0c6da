// The soundtrack, decoded once at start-up into floats and then into the 16-bit track the device plays.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int32_t SAMPLE_RATE = 44100;
constexpr int32_t MAX_TRACK_FRAMES = 9261000; // 210 s
constexpr int32_t SILENT_FALLBACK_FRAMES = 44100;

// The run ends after the first frame whose music time exceeds this.
constexpr double END_TIME = 124.0;
// The soundtrack is at 120 BPM, four beats to the bar.
constexpr double BAR_SECONDS = 2.0;

// Interleaved stereo floats on the decoder's scale (16-bit full scale is 1.0).
struct StereoFloatTrack {
    float* samples;
    int32_t frames;
};

// Interleaved signed 16-bit stereo frames, read in place by the sound device for the whole run.
struct PcmTrack {
    int16_t samples[MAX_TRACK_FRAMES * 2];
    int32_t frames;
};

extern PcmTrack pcmTrack;

// Decodes the embedded soundtrack; one second of stereo silence when nothing decodes.
StereoFloatTrack decodeSoundtrack();

// Frees what the latest decoding allocated (the decoder's buffer and any stereo copy of it) once the
// envelope and the 16-bit track are made; `track`, which pointed into it, is emptied.
void releaseDecodedSoundtrack(StereoFloatTrack* track);

// Whether `track` is the second of silence given when nothing decoded.
bool isSilentFallback(const StereoFloatTrack& track);

// Decodes an in-memory MPEG audio stream by the same rules, in one call of the decoder.
StereoFloatTrack decodeSoundtrackBytes(const unsigned char* bytes, size_t size);

// Turns the decoder's result (interleaved samples of `channels` channels, `sampleCount` values over all
// channels) into the stereo track: at most 210 s, mono copied to both sides, a channel count of 0 or less
// taken as stereo, and one second of silence when no whole frame is left.
StereoFloatTrack makeStereoFloatTrack(float* samples, size_t sampleCount, int channels);

// Clamps to [-1, 1], scales by 32,767 and truncates into pcmTrack.
void convertToPcm16(const StereoFloatTrack& track);
