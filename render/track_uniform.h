// The scene's track uniform: the tracks' values of the frame, sent only when they differ from what the
// program holds, so that a run without keys makes no call for them at all.
#pragma once

// Values in the track order (the scene reads them three to a vector).
constexpr int TRACK_UNIFORM_VALUES = 15;
extern const char* const TRACK_UNIFORM_NAME; // "iTrack"

// Sends `values` when any differs from what the current scene program, `program`, last received (0 after its
// build, as linking leaves it); the uniform's location is looked up the first time something must be sent.
void sendTrackValues(unsigned program, const float* values);

// A new scene program holds zeros and has its own locations: called whenever one becomes current.
void forgetTrackValues();
