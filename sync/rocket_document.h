// The GNU Rocket editor's own document of the tracks (its XML project file), so that keys made or saved here
// open in that editor with File > Open: the tracks by name in table order, each key's row, value and
// interpolation, and rows enough for the whole run.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "sync/sync_tracks.h"

// Its name in a tracks folder, beside the track files.
extern const char* const ROCKET_DOCUMENT_FILE; // "tracks.rocket"

// The music's length, which the document's rows cover (app checks it against the soundtrack's end).
constexpr double SYNC_RUN_SECONDS = 124.0;

// Rows for the whole run at the current row rate (1,984 at 16 a second), or more when a key lies beyond.
int rocketDocumentRows();

// The document for the track table as it stands, with `rows` rows. Values are written with enough digits to
// read back as the same float.
std::string rocketDocumentText(int rows);

// One key's element, as the document holds it ("<key row=\"0\" value=\"1.5\" interpolation=\"1\"/>").
void formatRocketKey(int32_t row, float value, uint8_t interpolation, char* out, size_t outSize);
// One track's element and its keys as whole lines, the element at `indent`, its keys one tab further in.
void appendRocketTrack(std::string& out, int track, const std::string& indent);

// The table written into a document that is already there, keeping all that the demo does not own: the
// bookmarks, tracks the demo does not have, attributes and elements it does not know, everything outside the
// keys of its own tracks, and a rows count larger than `rows`. The demo's tracks take the table's keys, and
// those the document lacks are added at the end of its <tracks>; a track whose `keep` is set is left as the
// document has it. False, with the fault in `message`, for a document the demo cannot read.
bool mergeRocketDocument(const std::string& existing, int rows, const bool keep[SYNC_TRACK_COUNT],
                         std::string* merged, char* message, size_t messageSize);
