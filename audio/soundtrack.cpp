// Decoding the embedded MP3 into the stereo float track, and converting that into the 16-bit track.
#include "audio/soundtrack.h"

#include "platform/resources.h"

#include <minimp3_ex.h>

#include <cstdlib>

PcmTrack pcmTrack;

// Static, so that the fallback itself cannot fail for want of memory.
static float silentSecond[SILENT_FALLBACK_FRAMES * 2];

// The decoder's state and result are large; they live outside the stack like the rest of the soundtrack.
static mp3dec_t decoder;
static mp3dec_file_info_t decoded;
// The stereo copy that makeStereoFloatTrack made of a decoded stream with another channel count.
static float* decodedCopy = nullptr;

static StereoFloatTrack silentFallback() {
    return {silentSecond, SILENT_FALLBACK_FRAMES};
}

bool isSilentFallback(const StereoFloatTrack& track) {
    return track.samples == silentSecond;
}

StereoFloatTrack makeStereoFloatTrack(float* samples, size_t sampleCount, int channels) {
    if (channels <= 0)
        channels = 2;
    // The decoder may report samples yet hand back no buffer when its last reallocation fails.
    if (samples == nullptr || sampleCount == 0)
        return silentFallback();
    size_t frames = sampleCount / static_cast<size_t>(channels); // a trailing incomplete frame is dropped
    if (frames > static_cast<size_t>(MAX_TRACK_FRAMES))
        frames = MAX_TRACK_FRAMES;
    else if (frames == 0)
        return silentFallback();
    if (channels == 2)
        return {samples, static_cast<int32_t>(frames)};

    float* stereo = static_cast<float*>(std::malloc(frames * 2 * sizeof(float)));
    if (stereo == nullptr)
        return silentFallback();
    for (size_t i = 0; i < frames; ++i) {
        float first = samples[i * static_cast<size_t>(channels)];
        stereo[2 * i] = first;
        stereo[2 * i + 1] = first;
    }
    return {stereo, static_cast<int32_t>(frames)};
}

StereoFloatTrack decodeSoundtrackBytes(const unsigned char* bytes, size_t size) {
    decoded = {};
    // The loader's return code says nothing the record does not: a partial result after an error is used.
    if (bytes != nullptr && size != 0)
        mp3dec_load_buf(&decoder, bytes, size, &decoded, nullptr, nullptr);
    StereoFloatTrack track = makeStereoFloatTrack(decoded.buffer, decoded.samples, decoded.channels);
    decodedCopy = track.samples != decoded.buffer && track.samples != silentSecond ? track.samples : nullptr;
    return track;
}

void releaseDecodedSoundtrack(StereoFloatTrack* track) {
    std::free(decoded.buffer);
    std::free(decodedCopy);
    decoded = {};
    decodedCopy = nullptr;
    *track = {nullptr, 0};
}

StereoFloatTrack decodeSoundtrack() {
    ByteSpan stream = findSoundtrackResource();
    return decodeSoundtrackBytes(stream.data, stream.size);
}

void convertToPcm16(const StereoFloatTrack& track) {
    int32_t n = track.frames < MAX_TRACK_FRAMES ? track.frames : MAX_TRACK_FRAMES;
    for (int32_t i = 0; i < 2 * n; ++i) {
        float x = track.samples[i];
        if (x > 1.0f)
            x = 1.0f;
        if (x < -1.0f)
            x = -1.0f;
        if (x != x)
            x = 0.0f; // a NaN has no integer value
        pcmTrack.samples[i] = static_cast<int16_t>(x * 32767.0f);
    }
    pcmTrack.frames = n;
}
