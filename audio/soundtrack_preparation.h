// The one step that readies everything read from the soundtrack: the loudness envelope and the 16-bit track.
#pragma once

#include <cstddef>

// Decodes the carried track, builds its loudness envelope and the 16-bit track, and frees the floats. Every
// path that reads pcmTrack or the envelope (the run, the page, each capture mode) goes through this first.
void prepareSoundtrack();
// The same from an MPEG audio stream in memory (a track other than the carried one).
void prepareSoundtrackFrom(const unsigned char* bytes, size_t size);

// True once prepareSoundtrack has filled the 16-bit track (the fallback second of silence counts).
bool soundtrackPrepared();
// True once prepareSoundtrack has filled it from decoded sound: false for a build without a track and for a
// track that did not decode, which both play the second of silence.
bool soundtrackDecoded();
