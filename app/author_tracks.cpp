// Seeding, reading and re-reading author mode's tracks folder. The folder is looked at rather than watched:
// sixteen files' sizes and times a few times a second cost nothing, and the platform's one folder watch
// stays the stages'.
#include "app/author_tracks.h"

#include "app/own_writes.h"
#include "app/whole_file.h"

#include "audio/soundtrack.h"
#include "platform/debug_output.h"
#include "render/stage_reloader.h"
#include "sync/builtin_tracks.h"
#include "sync/rocket_document.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

const char* const DEFAULT_TRACKS_FOLDER = "tracks";

static_assert(SYNC_RUN_SECONDS == END_TIME, "the editor's document covers the whole run");

AuthorTracks authorTracks;

bool seedTracksFolder(const char* folder, std::string* written, char* why, size_t whySize) {
    written->clear();
    std::error_code error;
    const std::filesystem::path base(folder);
    if (std::filesystem::exists(base, error)) {
        if (std::filesystem::is_directory(base, error))
            return true;
        std::snprintf(why, whySize, "%s is not a folder", base.string().c_str());
        return false;
    }
    std::filesystem::create_directories(base, error);
    if (error) {
        std::snprintf(why, whySize, "cannot make the folder %s: %s", base.string().c_str(),
                      error.message().c_str());
        return false;
    }
    for (int i = 0; i < BUILTIN_TRACK_FILE_COUNT; ++i) {
        if (!writeWholeFile(base / BUILTIN_TRACK_FILES[i].name, BUILTIN_TRACK_FILES[i].bytes,
                            BUILTIN_TRACK_FILES[i].size, why, whySize))
            return false;
        if (!written->empty())
            *written += ' ';
        *written += BUILTIN_TRACK_FILES[i].name;
    }
    // The editor's document of the same keys; the folder's read that follows replaces the table anyway.
    loadBuiltinTracks(nullptr);
    if (!writeRocketDocument(folder, why, whySize))
        return false;
    *written += ' ';
    *written += ROCKET_DOCUMENT_FILE;
    return true;
}

// What a read of the folder would see: each file that it reads, with its size and time.
static AuthorTracks::Look folderSignature(const char* folder) {
    std::error_code error;
    const std::filesystem::path base(folder);
    AuthorTracks::Look look;
    if (!std::filesystem::is_directory(base, error))
        return look;
    look.present = true;
    look.files[SYNC_SETTINGS_FILE] = fileState(base / SYNC_SETTINGS_FILE);
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        char name[SYNC_FILE_NAME_ROOM];
        if (trackFileName(SYNC_FILE_BASE, SYNC_TRACK_NAMES[track], name, sizeof name))
            look.files[name] = fileState(base / name);
    }
    return look;
}

// True when every file that differs from `before` is as the demo itself last wrote it: the table already
// holds what went into those files, or keys set since, which a read would lose.
static bool onlyOwnWrites(const char* folder, const AuthorTracks::Look& before,
                          const AuthorTracks::Look& now) {
    if (!before.present || !now.present)
        return false;
    for (const auto& [name, state] : now.files) {
        const auto was = before.files.find(name);
        if ((was == before.files.end() || was->second != state) &&
            !isOwnWrite(std::filesystem::path(folder) / name, state))
            return false;
    }
    return true;
}

int writeOwnTracksFolder(const char* folder, SyncFileReport report, SyncTrackSet tracks) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const auto before = folderFileStates(folder);
    const int failed = writeTrackFiles(folder, SYNC_FILE_BASE, report, tracks);
    rememberOwnWritesSince(folder, before);
    return failed;
}

static int refusedCount = 0;
static std::string firstRefused;

static void noteRefused(const char* message) {
    if (refusedCount++ == 0)
        firstRefused = message;
    writeDebugOutput((std::string("doz-engine: ") + message + "\n").c_str());
}

// As much of `text` as the title's room holds, and all of `tail`.
static void setProblemText(const std::string& text, const std::string& tail) {
    AuthorTracks& t = authorTracks;
    const size_t room = sizeof t.problemText - 1 - tail.size();
    const std::string whole = (text.size() > room ? text.substr(0, room) : text) + tail;
    std::snprintf(t.problemText, sizeof t.problemText, "%s", whole.c_str());
}

// Returns true when the title changes.
static bool readFolder() {
    AuthorTracks& t = authorTracks;
    const bool hadProblem = t.problem;
    const std::string before = t.problemText;
    t.signature = folderSignature(t.folder);
    t.problemText[0] = '\0';
    if (!t.signature.present) {
        // Gone, or being copied back: the keys read last stay until the folder is there again.
        setProblemText(std::string("tracks missing: ") + t.folder, "");
        t.problem = true;
    } else {
        refusedCount = 0;
        readTracksFolder(t.folder, noteRefused);
        t.reads += 1;
        t.problem = refusedCount > 0;
        if (t.problem)
            setProblemText("tracks: " + firstRefused,
                           refusedCount > 1 ? " (+" + std::to_string(refusedCount - 1) + " more)" : "");
    }
    return t.problem != hadProblem || before != t.problemText;
}

void startAuthorTracks(const char* asked) {
    AuthorTracks& t = authorTracks;
    t.folder[0] = '\0';
    t.lastLookTick = 0;
    t.signature = AuthorTracks::Look();
    t.pendingSignature = AuthorTracks::Look();
    t.pending = false;
    t.lastChangeTick = 0;
    t.reads = 0;
    t.problem = false;
    t.problemText[0] = '\0';
    const char* folder = asked != nullptr && asked[0] != '\0' ? asked : DEFAULT_TRACKS_FOLDER;
    std::string written;
    char why[512] = "";
    if (!seedTracksFolder(folder, &written, why, sizeof why)) {
        writeDebugOutput(
            (std::string("doz-engine: ") + why + ": the built-in tracks play and nothing is read\n").c_str());
        return;
    }
    if (!written.empty())
        writeDebugOutput((std::string("doz-engine: wrote the built-in tracks to ") + folder +
                          "/; a sync editor saves there, and edits there are read at once\n")
                             .c_str());
    std::snprintf(t.folder, sizeof t.folder, "%s", folder);
    readFolder();
}

bool pollAuthorTracks(uint32_t now) {
    AuthorTracks& t = authorTracks;
    if (t.folder[0] == '\0')
        return false;
    if (now - t.lastLookTick >= TRACKS_LOOK_INTERVAL_MS) {
        t.lastLookTick = now;
        AuthorTracks::Look signature = folderSignature(t.folder);
        if (signature != t.signature && onlyOwnWrites(t.folder, t.signature, signature)) {
            t.signature = signature;
            t.pending = false;
        } else if (signature != t.signature && (!t.pending || signature != t.pendingSignature)) {
            t.pending = true;
            t.pendingSignature = signature;
            t.lastChangeTick = now;
        }
    }
    if (!t.pending || now - t.lastChangeTick < RELOAD_SETTLE_MS)
        return false;
    t.pending = false;
    return readFolder();
}
