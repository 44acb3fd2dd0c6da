// The live link to a sync editor over the platform's socket service.
#include "app/sync_link.h"

#include "app/transport.h"
#include "platform/debug_output.h"
#include "platform/socket.h"
#include "sync/sync_protocol.h"
#include "sync/track_files.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

struct SyncLink {
    bool active = false;
    char address[SYNC_ADDRESS_ROOM] = "";
    char tracksFolder[1024] = "";
    bool canSave = false;
    bool connected = false; // the socket is open and the client started
    bool greetingSent = false;
    bool retryDue = true;
    uint32_t retryAtMs = 0;
    long lastRow = -1; // the row last sent or taken from the editor
    char note[224] = "";
    char lastReported[224] = "";
};

SyncLink link;
SyncPauseHandler pauseHandler = nullptr;

} // namespace

// Notes are cut to their room, by design.
static void formatInto(char* out, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(out, size, format, arguments);
    va_end(arguments);
}

// The title shows `text`; error output gets it once per new text, so that a missing editor tried every
// second says so once.
static void setNote(const char* text, bool report) {
    formatInto(link.note, sizeof link.note, "%s", text);
    if (report && std::strcmp(text, link.lastReported) != 0) {
        formatInto(link.lastReported, sizeof link.lastReported, "%s", text);
        char line[320];
        formatInto(line, sizeof line, "doz-engine: %s", text);
        writeDebugOutput(line);
    }
}

static void drop(const char* reason, uint32_t nowMs) {
    // The reason may be the client's own message, which ending the connection clears.
    char why[200];
    formatInto(why, sizeof why, "%s", reason);
    closeSocket();
    if (link.connected)
        endSyncConnection();
    link.connected = false;
    link.greetingSent = false;
    link.retryAtMs = nowMs + SYNC_RETRY_MS;
    link.retryDue = true;
    char text[224];
    formatInto(text, sizeof text, "%s; trying again", why);
    setNote(text, true);
}

void startSyncLink(const char* address, const char* tracksFolder) {
    link = SyncLink();
    link.active = true;
    formatInto(link.address, sizeof link.address, "%s", address);
    link.canSave = tracksFolder != nullptr;
    if (link.canSave)
        formatInto(link.tracksFolder, sizeof link.tracksFolder, "%s", tracksFolder);
    resetSyncClient();
    char text[224];
    formatInto(text, sizeof text, "sync: connecting to %s", link.address);
    setNote(text, false);
}

void setSyncPauseHandler(SyncPauseHandler handler) {
    pauseHandler = handler;
}

bool syncLinkActive() {
    return link.active;
}

static void reportFile(const char* message) {
    char line[320];
    formatInto(line, sizeof line, "doz-engine: sync save: %s", message);
    writeDebugOutput(line);
}

static void saveTracks() {
    if (!link.canSave) {
        setNote("sync: this run has no tracks folder to save into", true);
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(link.tracksFolder, error);
    int failed = writeTrackFiles(link.tracksFolder, SYNC_FILE_BASE, reportFile);
    char text[224];
    if (failed == 0)
        formatInto(text, sizeof text, "sync %s: saved the tracks to %s", link.address, link.tracksFolder);
    else
        formatInto(text, sizeof text, "sync %s: %d track files not saved to %s", link.address, failed,
                   link.tracksFolder);
    setNote(text, true);
}

static void carryOut(const SyncEvent& event) {
    switch (event.kind) {
    case SYNC_EVENT_ROW:
        link.lastRow = static_cast<long>(event.row);
        seekTo(timeAtRow(event.row));
        break;
    case SYNC_EVENT_PAUSE:
        if (pauseHandler != nullptr)
            pauseHandler(event.paused);
        else if (event.paused != transport.paused)
            togglePause();
        break;
    case SYNC_EVENT_SAVE:
        saveTracks();
        break;
    case SYNC_EVENT_KEY_REFUSED: {
        char text[224];
        formatInto(text, sizeof text, "sync: a key at row %lu did not fit track %s",
                   static_cast<unsigned long>(event.row),
                   event.track < SYNC_TRACK_COUNT ? SYNC_TRACK_NAMES[event.track] : "?");
        setNote(text, true);
        break;
    }
    }
}

static bool takeEvents() {
    SyncEvent event;
    bool any = false;
    while (takeSyncEvent(&event)) {
        carryOut(event);
        any = true;
    }
    return any;
}

static bool flushOutput(uint32_t nowMs) {
    size_t size = 0;
    const unsigned char* bytes = pendingSyncOutput(&size);
    if (size == 0)
        return true;
    char why[160] = "";
    long sent = writeSocket(bytes, size, why, sizeof why);
    if (sent < 0) {
        char text[200];
        formatInto(text, sizeof text, "sync: lost the editor (%s)", why);
        drop(text, nowMs);
        return false;
    }
    dropSyncOutput(static_cast<size_t>(sent));
    return true;
}

static void tryToConnect(uint32_t nowMs) {
    link.retryDue = false;
    char why[160] = "";
    if (!openSocket(link.address, why, sizeof why)) {
        char text[224];
        formatInto(text, sizeof text, "sync: no editor at %s (%s)", link.address, why);
        drop(text, nowMs);
    }
}

// The socket is open: greet, in a message of its own (the page sends it as text).
static void beginTalking(uint32_t nowMs) {
    link.connected = true;
    startSyncConnection(nowMs);
    unsigned char greeting[SYNC_CLIENT_GREETING_SIZE];
    size_t size = takeSyncOutput(greeting, sizeof greeting);
    char why[160] = "";
    if (size != SYNC_CLIENT_GREETING_SIZE ||
        !writeSocketGreeting(reinterpret_cast<const char*>(greeting), size, why, sizeof why)) {
        char text[224];
        formatInto(text, sizeof text, "sync: could not greet the editor at %s (%s)", link.address, why);
        drop(text, nowMs);
        return;
    }
    link.greetingSent = true;
    link.lastRow = -1;
}

static void readArrived(uint32_t nowMs) {
    unsigned char bytes[4096];
    for (int round = 0; round < 64; ++round) {
        char why[160] = "";
        long got = readSocket(bytes, sizeof bytes, why, sizeof why);
        if (got < 0) {
            char text[224];
            formatInto(text, sizeof text, "sync: lost the editor at %s (%s)", link.address, why);
            drop(text, nowMs);
            return;
        }
        if (got == 0)
            break;
        SyncPhase before = syncClient.phase;
        size_t taken = 0;
        while (taken < static_cast<size_t>(got) && !syncFailed()) {
            size_t fed = feedSyncBytes(bytes + taken, static_cast<size_t>(got) - taken, nowMs);
            bool acted = takeEvents();
            // The client stops only to hand over events; one that takes nothing and has none would spin,
            // and bytes left behind would garble the stream: drop the connection instead.
            if (fed == 0 && !acted) {
                drop("sync: the editor's stream stalled", nowMs);
                return;
            }
            taken += fed;
        }
        if (syncFailed())
            break;
        if (before == SYNC_GREETING && syncClient.phase == SYNC_TALKING) {
            char text[224];
            formatInto(text, sizeof text, "sync %s", link.address);
            setNote(text, false);
            link.lastReported[0] = '\0';
        }
    }
    checkSyncTimeout(nowMs);
    if (syncFailed())
        drop(syncClient.message, nowMs);
}

void pollSyncLink(uint32_t nowMs) {
    if (!link.active)
        return;
    if (link.retryDue) {
        if (static_cast<int32_t>(nowMs - link.retryAtMs) < 0)
            return;
        tryToConnect(nowMs);
        if (link.retryDue)
            return;
    }
    if (!link.connected) {
        char why[160] = "";
        SocketState state = pollSocket(why, sizeof why);
        if (state == SOCKET_FAILED || state == SOCKET_CLOSED) {
            char text[224];
            formatInto(text, sizeof text, "sync: no editor at %s (%s)", link.address, why);
            drop(text, nowMs);
            return;
        }
        if (state == SOCKET_CONNECTING)
            return;
        beginTalking(nowMs);
        if (!link.connected)
            return;
    }
    readArrived(nowMs);
    if (link.connected)
        flushOutput(nowMs);
}

void sendSyncLinkRow(double shownSeconds, uint32_t nowMs) {
    if (!link.connected || syncClient.phase != SYNC_TALKING)
        return;
    // A seek to the editor's row lands on a sample, up to half one before the row: not a new row.
    double row = std::floor(rowAtTime(shownSeconds) + 1e-3);
    if (!(row >= 0.0) || row > SYNC_MAX_ROW)
        return;
    long whole = static_cast<long>(row);
    if (whole == link.lastRow)
        return;
    link.lastRow = whole;
    sendSyncRow(static_cast<uint32_t>(whole));
    flushOutput(nowMs);
}

const char* syncLinkNote() {
    return link.active ? link.note : "";
}

void stopSyncLink() {
    if (!link.active)
        return;
    closeSocket();
    if (link.connected)
        endSyncConnection();
    link = SyncLink();
}
