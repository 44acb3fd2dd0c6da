// The names a stage reads the sync tracks by (TRACK_CAMERA_POS_X and so on, and TRACK_VECTORS), put into
// every stage as it is compiled, so that author mode's stage folder, captures, both executables and the page
// all compile the same text.
#pragma once
#include <string>

// The stage with TRACK_STAGE_NAMES after its #version line (at the start when it has none), followed by a
// #line that keeps the compiler's line numbers those of the stage as written.
std::string withTrackNames(const char* source);
