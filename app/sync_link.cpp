// The live link to a sync editor over the platform's socket service.
#include "app/sync_link.h"

#include "app/author_tracks.h"
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

SyncLink linkState;
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
    formatInto(linkState.note, sizeof linkState.note, "%s", text);
    if (report && std::strcmp(text, linkState.lastReported) != 0) {
        formatInto(linkState.lastReported, sizeof linkState.lastReported, "%s", text);
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
    if (linkState.connected)
        endSyncConnection();
    linkState.connected = false;
    linkState.greetingSent = false;
    linkState.retryAtMs = nowMs + SYNC_RETRY_MS;
    linkState.retryDue = true;
    char text[224];
    formatInto(text, sizeof text, "%s; trying again", why);
    setNote(text, true);
}

void startSyncLink(const char* address, const char* tracksFolder) {
    linkState = SyncLink();
    linkState.active = true;
    formatInto(linkState.address, sizeof linkState.address, "%s", address);
    linkState.canSave = tracksFolder != nullptr;
    if (linkState.canSave)
        formatInto(linkState.tracksFolder, sizeof linkState.tracksFolder, "%s", tracksFolder);
    resetSyncClient();
    char text[224];
    formatInto(text, sizeof text, "sync: connecting to %s", linkState.address);
    setNote(text, false);
}

void setSyncPauseHandler(SyncPauseHandler handler) {
    pauseHandler = handler;
}

bool syncLinkActive() {
    return linkState.active;
}

bool syncLinkGreeted() {
    return linkState.active && syncClient.phase == SYNC_TALKING;
}

// The first file a save could not write, for the title; every one goes to the error output.
static char firstUnsaved[160];

static void reportFile(const char* message) {
    if (firstUnsaved[0] == '\0')
        formatInto(firstUnsaved, sizeof firstUnsaved, "%s", message);
    char line[320];
    formatInto(line, sizeof line, "doz-engine: sync save: %s", message);
    writeDebugOutput(line);
}

static void saveTracks() {
    if (!linkState.canSave) {
        setNote("sync: this run has no tracks folder to save into", true);
        return;
    }
    // The demo's own write: author mode's look at the folder must not read it back over keys the editor
    // sets from now on.
    firstUnsaved[0] = '\0';
    int failed = writeOwnTracksFolder(linkState.tracksFolder, reportFile);
    char text[224];
    if (failed == 0)
        formatInto(text, sizeof text, "sync %s: saved the tracks to %s", linkState.address,
                   linkState.tracksFolder);
    else
        formatInto(text, sizeof text, "sync %s: %d files not saved: %s", linkState.address, failed,
                   firstUnsaved);
    setNote(text, true);
}

static void carryOut(const SyncEvent& event) {
    switch (event.kind) {
    case SYNC_EVENT_ROW:
        linkState.lastRow = static_cast<long>(event.row);
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

// One command per write: the editor's WebSocket port reads each message as one command, and a byte stream
// (TCP, a bridge) does not mind. A write that takes part of a command leaves the rest for the next frame.
static bool flushOutput(uint32_t nowMs) {
    size_t size = 0;
    for (const unsigned char* bytes = pendingSyncOutput(&size); size > 0; bytes = pendingSyncOutput(&size)) {
        size_t command = pendingSyncCommandSize();
        char why[160] = "";
        long sent = writeSocket(bytes, command, why, sizeof why);
        if (sent < 0) {
            char text[200];
            formatInto(text, sizeof text, "sync: lost the editor (%s)", why);
            drop(text, nowMs);
            return false;
        }
        dropSyncOutput(static_cast<size_t>(sent));
        if (static_cast<size_t>(sent) < command)
            break;
    }
    return true;
}

static void tryToConnect(uint32_t nowMs) {
    linkState.retryDue = false;
    char why[160] = "";
    if (!openSocket(linkState.address, why, sizeof why)) {
        char text[224];
        formatInto(text, sizeof text, "sync: no editor at %s (%s)", linkState.address, why);
        drop(text, nowMs);
    }
}

// The socket is open: greet, in a message of its own (the page sends it as text).
static void beginTalking(uint32_t nowMs) {
    linkState.connected = true;
    startSyncConnection(nowMs);
    unsigned char greeting[SYNC_CLIENT_GREETING_SIZE];
    size_t size = takeSyncOutput(greeting, sizeof greeting);
    char why[160] = "";
    if (size != SYNC_CLIENT_GREETING_SIZE ||
        !writeSocketGreeting(reinterpret_cast<const char*>(greeting), size, why, sizeof why)) {
        char text[224];
        formatInto(text, sizeof text, "sync: could not greet the editor at %s (%s)", linkState.address, why);
        drop(text, nowMs);
        return;
    }
    linkState.greetingSent = true;
    linkState.lastRow = -1;
}

static void readArrived(uint32_t nowMs) {
    unsigned char bytes[4096];
    for (int round = 0; round < 64; ++round) {
        char why[160] = "";
        long got = readSocket(bytes, sizeof bytes, why, sizeof why);
        if (got < 0) {
            char text[224];
            formatInto(text, sizeof text, "sync: lost the editor at %s (%s)", linkState.address, why);
            drop(text, nowMs);
            return;
        }
        if (got == 0)
            break;
        SyncPhase before = syncClient.phase;
        size_t taken = 0;
        while (taken < static_cast<size_t>(got) && !syncFailed()) {
            size_t fed = feedSyncBytes(bytes + taken, static_cast<size_t>(got) - taken);
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
            formatInto(text, sizeof text, "sync %s", linkState.address);
            setNote(text, false);
            linkState.lastReported[0] = '\0';
        }
    }
    checkSyncTimeout(nowMs);
    if (syncFailed())
        drop(syncClient.message, nowMs);
}

void pollSyncLink(uint32_t nowMs) {
    if (!linkState.active)
        return;
    if (linkState.retryDue) {
        if (static_cast<int32_t>(nowMs - linkState.retryAtMs) < 0)
            return;
        tryToConnect(nowMs);
        if (linkState.retryDue)
            return;
    }
    if (!linkState.connected) {
        char why[160] = "";
        SocketState state = pollSocket(why, sizeof why);
        if (state == SOCKET_FAILED || state == SOCKET_CLOSED) {
            char text[224];
            formatInto(text, sizeof text, "sync: no editor at %s (%s)", linkState.address, why);
            drop(text, nowMs);
            return;
        }
        if (state == SOCKET_CONNECTING)
            return;
        beginTalking(nowMs);
        if (!linkState.connected)
            return;
    }
    readArrived(nowMs);
    if (linkState.connected)
        flushOutput(nowMs);
}

void sendSyncLinkRow(double shownSeconds, uint32_t nowMs) {
    if (!linkState.connected || syncClient.phase != SYNC_TALKING)
        return;
    double row = shownRowAt(shownSeconds);
    if (!(row >= 0.0) || row > SYNC_MAX_ROW)
        return;
    long whole = static_cast<long>(row);
    if (whole == linkState.lastRow)
        return;
    linkState.lastRow = whole;
    sendSyncRow(static_cast<uint32_t>(whole));
    flushOutput(nowMs);
}

const char* syncLinkNote() {
    return linkState.active ? linkState.note : "";
}

void stopSyncLink() {
    if (!linkState.active)
        return;
    closeSocket();
    if (linkState.connected)
        endSyncConnection();
    linkState = SyncLink();
}
