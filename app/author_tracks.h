// Author mode's tracks folder: "tracks" in the working directory unless --tracks names another, made from
// the built-in tracks when it is not there (never written over), read at start and read again a moment
// after a file in it changes. A refused file is named, with its reason, in the title and on stderr; its
// track has no keys until the file is mended.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "sync/track_files.h"

extern const char* const DEFAULT_TRACKS_FOLDER; // "tracks"

constexpr uint32_t TRACKS_LOOK_INTERVAL_MS = 250;
constexpr int TRACKS_FOLDER_SIZE = 1024;
constexpr int TRACKS_PROBLEM_SIZE = 160;

struct AuthorTracks {
    char folder[TRACKS_FOLDER_SIZE]; // empty: none, the built-in tracks stay
    uint32_t lastLookTick;
    // The folder's files that a read takes, by name, with their sizes and times; `present`: the folder is
    // there.
    struct Look {
        bool present = false;
        std::map<std::string, std::string> files;
        bool operator==(const Look& other) const { return present == other.present && files == other.files; }
        bool operator!=(const Look& other) const { return !(*this == other); }
    };
    Look signature; // when last read, or when the demo last wrote the folder itself
    bool pending;   // the signature changed and has not settled yet
    Look pendingSignature;
    uint32_t lastChangeTick; //   when it last changed
    int reads;               // times the folder was read, the first at start
    bool problem;            // a file refused at the last read
    char problemText[TRACKS_PROBLEM_SIZE];
};

extern AuthorTracks authorTracks;

// Writes every built-in track file, and the editor's document of them (loading the built-in tracks into the
// table), into `folder` when the folder is not there, making it; an existing folder is left as it is. Returns
// the names written (space-separated; empty for an existing folder), or false with the reason in `why`.
bool seedTracksFolder(const char* folder, std::string* written, char* why, size_t whySize);

// Writes the table's `tracks` (writeTrackFiles) into `folder`, made when missing, as the demo's own write:
// author mode's look at the folder does not read it back over keys set after it. Returns the number of files
// not written.
int writeOwnTracksFolder(const char* folder, SyncFileReport report, SyncTrackSet tracks = SYNC_ALL_TRACKS);

// Chooses the folder (`asked`, or the default when empty), seeds it when missing (said on stderr) and
// reads it into the track table. Without a usable folder the built-in tracks stay and nothing is read.
void startAuthorTracks(const char* asked);

// Once per frame: looks at the folder every TRACKS_LOOK_INTERVAL_MS, and reads it again once a change has
// settled for as long as a stage reload waits. Returns true when the title should change.
bool pollAuthorTracks(uint32_t now);
