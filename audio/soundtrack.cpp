// Placeholder decoder: always the silent fallback until the MP3 path lands.
#include "audio/soundtrack.h"

#include "platform/resources.h"

#include <cstdlib>

PcmTrack pcmTrack;

static StereoFloatTrack silentFallback() {
    float* samples = static_cast<float*>(std::calloc(SILENT_FALLBACK_FRAMES * 2, sizeof(float)));
    return {samples, samples != nullptr ? SILENT_FALLBACK_FRAMES : 0};
}

StereoFloatTrack decodeSoundtrackBytes(const unsigned char*, size_t) {
    return silentFallback();
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
        pcmTrack.samples[i] = static_cast<int16_t>(x * 32767.0f);
    }
    pcmTrack.frames = n;
}
