// The one step that readies everything read from the soundtrack: the loudness envelope and the 16-bit track.
#pragma once

// Decodes the carried track, builds its loudness envelope and the 16-bit track, and frees the floats. Every
// path that reads pcmTrack or the envelope (the run, the page, each capture mode) goes through this first.
void prepareSoundtrack();

// True once prepareSoundtrack has filled the 16-bit track (the fallback second of silence counts).
bool soundtrackPrepared();
