// The names a stage reads the sync tracks by (TRACK_CAMERA_POS_X and so on, and TRACK_VECTORS), put into
// every stage as it is compiled, so that author mode's stage folder, captures, both executables and the page
// all compile the same text.
#pragma once
#include <cstddef>
#include <string>

// Where a stage's #version line is: GLSL lets blank lines and comments stand before it.
struct StageVersionLine {
    bool found;
    size_t end;  // just past the line's end (its line break, or the text's end); 0 when not found
    int lines;   // the stage's lines up to `end`, the version line included
    int version; // its number (330, 300)
    bool es;     // "#version 300 es"
};
StageVersionLine findVersionLine(const char* source);

// The stage with TRACK_STAGE_NAMES after its #version line (at the start when it has none), followed by a
// #line that keeps the compiler's line numbers those of the stage as written.
std::string withTrackNames(const char* source);
