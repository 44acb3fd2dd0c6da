// Decoding, envelope and 16-bit conversion in the order the clock and the beat need them.
#include "audio/soundtrack_preparation.h"

#include "audio/loudness_envelope.h"
#include "audio/soundtrack.h"
#include "platform/resources.h"

static bool decodedSound = false;

void prepareSoundtrack() {
    ByteSpan stream = findSoundtrackResource();
    prepareSoundtrackFrom(stream.data, stream.size);
}

void prepareSoundtrackFrom(const unsigned char* bytes, size_t size) {
    // Decoding the whole track dominates start-up; input meanwhile waits in the queue.
    StereoFloatTrack track = decodeSoundtrackBytes(bytes, size);
    decodedSound = !isSilentFallback(track);
    buildLoudnessEnvelope(track);
    convertToPcm16(track);
    releaseDecodedSoundtrack(&track); // nothing reads the floats again: 52.8 MB for the carried track
}

bool soundtrackPrepared() {
    return pcmTrack.frames > 0;
}

bool soundtrackDecoded() {
    return decodedSound && soundtrackPrepared();
}
