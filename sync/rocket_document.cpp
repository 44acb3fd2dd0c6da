// The editor's XML document, written as that editor writes it: a <sync rows=".."> root, <tracks> with one
// <track name=".."> per track holding <key row value interpolation/> elements, and an empty <bookmarks/>.
#include "sync/rocket_document.h"

#include "sync/sync_tracks.h"

#include <cmath>
#include <cstdio>

const char* const ROCKET_DOCUMENT_FILE = "tracks.rocket";

int rocketDocumentRows() {
    int rows = static_cast<int>(std::ceil(SYNC_RUN_SECONDS * syncRowsPerSecond()));
    for (const SyncTrackKeys& keys : syncTracks.tracks)
        if (keys.count > 0 && keys.rows[keys.count - 1] >= rows)
            rows = keys.rows[keys.count - 1] + 1;
    return rows;
}

// An attribute's text with the characters XML gives a meaning escaped.
static void appendEscaped(std::string& out, const char* text) {
    for (const char* c = text; *c != '\0'; ++c) {
        switch (*c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += *c;
        }
    }
}

std::string rocketDocumentText(int rows) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    char line[128];
    std::snprintf(line, sizeof line, "<sync rows=\"%d\">\n\t<tracks>\n", rows);
    text += line;
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        const SyncTrackKeys& keys = syncTracks.tracks[track];
        text += "\t\t<track name=\"";
        appendEscaped(text, SYNC_TRACK_NAMES[track]);
        text += keys.count == 0 ? "\"/>\n" : "\">\n";
        for (int i = 0; i < keys.count; ++i) {
            // Nine significant digits give back the same float.
            std::snprintf(line, sizeof line, "\t\t\t<key row=\"%ld\" value=\"%.9g\" interpolation=\"%u\"/>\n",
                          static_cast<long>(keys.rows[i]), static_cast<double>(keys.values[i]),
                          static_cast<unsigned>(keys.interpolations[i]));
            text += line;
        }
        if (keys.count > 0)
            text += "\t\t</track>\n";
    }
    text += "\t</tracks>\n\t<bookmarks/>\n</sync>\n";
    return text;
}
