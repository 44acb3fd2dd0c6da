// The moment a web page's address asks for: "?at=SECONDS" starts there, "paused" shows that frame still;
// "sync=ws://HOST:PORT" links the page to a sync editor over a WebSocket; "edit" opens the stage editor.
#pragma once
#include <cstddef>

struct PageAddress {
    double atSeconds;    // music time of the first frame, within [0, END_TIME]
    bool paused;         // that frame only: no sound, no click needed
    char sync[256] = ""; // the editor's WebSocket address ("ws://..." or "wss://..."); empty: no link
    bool edit = false;   // the stage editor opens with the page
};

// Reads the query part of a page address ("?at=44.4&paused", with or without the '?'). Keys it does not
// know are left alone. A malformed time is ignored (the demo starts at 0) and one out of range is clamped;
// each such case adds a line to `warnings` (which the page writes to its console). Never fails.
PageAddress readPageAddress(const char* query, char* warnings, size_t warningsSize);

// The query of a paused moment, "?at=45.07551&paused": the time to five decimals (within half a sample, so
// that the page it opens stands on the same sample), without trailing zeros.
void formatPausedMoment(double seconds, char* query, int querySize);
