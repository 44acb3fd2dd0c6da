// The scene's track uniform: the tracks' values of the frame, sent only when they differ from what the
// program holds, so that a run without keys makes no call for them at all.
#pragma once

// TRACK_UNIFORM_VALUES and TRACK_STAGE_NAMES, made from the track table by the build: each track's value
// sits at its slot (the scene reads them three to a vector, as TRACK_CAMERA_POS_X and so on).
#include "render/track_layout.h"

extern const char* const TRACK_UNIFORM_NAME; // "iTrack"

// Sends `values` (TRACK_UNIFORM_VALUES of them, by slot) when any differs from what the current scene
// program, `program`, last received (0 after its build, as linking leaves it); the uniform's location is
// looked up the first time something must be sent.
void sendTrackValues(unsigned program, const float* values);

// A new scene program holds zeros and has its own locations: called whenever one becomes current.
void forgetTrackValues();
