// The GNU Rocket editor's own document of the tracks (its XML project file), so that keys made or saved here
// open in that editor with File > Open: the tracks by name in table order, each key's row, value and
// interpolation, and rows enough for the whole run.
#pragma once
#include <string>

// Its name in a tracks folder, beside the track files.
extern const char* const ROCKET_DOCUMENT_FILE; // "tracks.rocket"

// The music's length, which the document's rows cover (app checks it against the soundtrack's end).
constexpr double SYNC_RUN_SECONDS = 124.0;

// Rows for the whole run at the current row rate (1,984 at 16 a second), or more when a key lies beyond.
int rocketDocumentRows();

// The document for the track table as it stands, with `rows` rows. Values are written with enough digits to
// read back as the same float.
std::string rocketDocumentText(int rows);
