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

void formatRocketKey(int32_t row, float value, uint8_t interpolation, char* out, size_t outSize) {
    // Nine significant digits give back the same float.
    std::snprintf(out, outSize, "<key row=\"%ld\" value=\"%.9g\" interpolation=\"%u\"/>",
                  static_cast<long>(row), static_cast<double>(value), static_cast<unsigned>(interpolation));
}

void appendRocketTrack(std::string& out, int track, const std::string& indent) {
    const SyncTrackKeys& keys = syncTracks.tracks[track];
    out += indent + "<track name=\"";
    appendEscaped(out, SYNC_TRACK_NAMES[track]);
    out += keys.count == 0 ? "\"/>\n" : "\">\n";
    char line[128];
    for (int i = 0; i < keys.count; ++i) {
        formatRocketKey(keys.rows[i], keys.values[i], keys.interpolations[i], line, sizeof line);
        out += indent + '\t' + line + '\n';
    }
    if (keys.count > 0)
        out += indent + "</track>\n";
}

std::string rocketDocumentText(int rows) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    char line[128];
    std::snprintf(line, sizeof line, "<sync rows=\"%d\">\n\t<tracks>\n", rows);
    text += line;
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track)
        appendRocketTrack(text, track, "\t\t");
    text += "\t</tracks>\n\t<bookmarks/>\n</sync>\n";
    return text;
}
