// The sync editor's protocol: the client's state machine over the bytes that arrive, and the demo's messages.
#include "sync/sync_protocol.h"

#include <cmath>
#include <cstdio>
#include <cstring>

const char SYNC_CLIENT_GREETING[] = "hello, synctracker!";
const char SYNC_SERVER_GREETING[] = "hello, demo!";
static_assert(sizeof SYNC_CLIENT_GREETING - 1 == SYNC_CLIENT_GREETING_SIZE, "the demo's greeting");
static_assert(sizeof SYNC_SERVER_GREETING - 1 == SYNC_SERVER_GREETING_SIZE, "the editor's greeting");

SyncClient syncClient;

static void putBigEndian32(unsigned char* out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

static uint32_t getBigEndian32(const unsigned char* in) {
    return static_cast<uint32_t>(in[0]) << 24 | static_cast<uint32_t>(in[1]) << 16 |
           static_cast<uint32_t>(in[2]) << 8 | static_cast<uint32_t>(in[3]);
}

size_t encodeSyncGreeting(unsigned char* out, size_t capacity) {
    if (capacity < SYNC_CLIENT_GREETING_SIZE)
        return 0;
    std::memcpy(out, SYNC_CLIENT_GREETING, SYNC_CLIENT_GREETING_SIZE);
    return SYNC_CLIENT_GREETING_SIZE;
}

size_t encodeGetTrack(const char* name, unsigned char* out, size_t capacity) {
    size_t length = std::strlen(name);
    if (capacity < 5 || length > capacity - 5)
        return 0;
    out[0] = SYNC_GET_TRACK;
    putBigEndian32(out + 1, static_cast<uint32_t>(length));
    std::memcpy(out + 5, name, length);
    return 5 + length;
}

size_t encodeSetRow(uint32_t row, unsigned char* out, size_t capacity) {
    if (capacity < 5)
        return 0;
    out[0] = SYNC_SET_ROW;
    putBigEndian32(out + 1, row);
    return 5;
}

static bool queueOutput(const unsigned char* bytes, size_t size) {
    SyncClient& client = syncClient;
    if (size == 0 || size > sizeof client.output - client.outputSize ||
        client.commandCount == SYNC_MAX_OUTPUT_COMMANDS)
        return false;
    std::memcpy(client.output + client.outputSize, bytes, size);
    client.outputSize += size;
    client.commandEnds[client.commandCount++] = static_cast<uint16_t>(client.outputSize);
    return true;
}

void resetSyncClient() {
    syncClient = SyncClient();
}

void startSyncConnection(uint32_t nowMs) {
    resetSyncClient();
    syncClient.phase = SYNC_GREETING;
    syncClient.startedMs = nowMs;
    unsigned char greeting[SYNC_CLIENT_GREETING_SIZE];
    queueOutput(greeting, encodeSyncGreeting(greeting, sizeof greeting));
}

void endSyncConnection() {
    resetSyncClient();
}

bool syncFailed() {
    return syncClient.phase == SYNC_FAILED;
}

static void fail(const char* message) {
    SyncClient& client = syncClient;
    client.phase = SYNC_FAILED;
    std::snprintf(client.message, sizeof client.message, "%s", message);
    client.outputSize = 0;
    client.commandCount = 0;
    client.pendingRowAt = -1;
}

void checkSyncTimeout(uint32_t nowMs) {
    // Ticks wrap: the difference is the time passed.
    if (syncClient.phase == SYNC_GREETING &&
        static_cast<uint32_t>(nowMs - syncClient.startedMs) > SYNC_GREETING_TIMEOUT_MS)
        fail("sync editor: no greeting within 2 s");
}

static void pushEvent(const SyncEvent& event) {
    // The feed stops before a command while the queue is full, so there is room.
    syncClient.events[syncClient.eventCount++] = event;
}

bool takeSyncEvent(SyncEvent* event) {
    SyncClient& client = syncClient;
    if (client.firstEvent == client.eventCount)
        return false;
    *event = client.events[client.firstEvent++];
    if (client.firstEvent == client.eventCount)
        client.firstEvent = client.eventCount = 0;
    return true;
}

// Greeted: every track is asked for, in order, and holds what the editor sends from now on.
static void startTalking() {
    SyncClient& client = syncClient;
    client.phase = SYNC_TALKING;
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        clearSyncTrack(track);
        unsigned char request[SYNC_TRACK_NAME_ROOM + 5];
        size_t size = encodeGetTrack(SYNC_TRACK_NAMES[track], request, sizeof request);
        if (size == 0 || !queueOutput(request, size)) {
            fail("sync: the track requests do not fit the output");
            return;
        }
        client.tracksAsked = static_cast<uint32_t>(track + 1);
    }
}

// The payload after each command byte; -1 for a command the editor does not send.
static int payloadSize(unsigned char command) {
    switch (command) {
    case SYNC_SET_KEY:
        return 13;
    case SYNC_DELETE_KEY:
        return 8;
    case SYNC_SET_ROW:
        return 4;
    case SYNC_PAUSE:
        return 1;
    case SYNC_SAVE_TRACKS:
        return 0;
    default:
        return -1;
    }
}

static bool checkTrackAndRow(const char* command, uint32_t track, uint32_t row) {
    char message[160];
    if (track >= syncClient.tracksAsked) {
        std::snprintf(message, sizeof message, "sync editor: %s for track %lu, of %lu asked for", command,
                      static_cast<unsigned long>(track), static_cast<unsigned long>(syncClient.tracksAsked));
        fail(message);
        return false;
    }
    if (row > static_cast<uint32_t>(SYNC_MAX_ROW)) {
        std::snprintf(message, sizeof message, "sync editor: %s at row %lu, beyond %ld", command,
                      static_cast<unsigned long>(row), static_cast<long>(SYNC_MAX_ROW));
        fail(message);
        return false;
    }
    return true;
}

// Carries out the whole command in syncClient.command.
static void runCommand() {
    SyncClient& client = syncClient;
    const unsigned char* payload = client.command + 1;
    char message[160];
    switch (client.command[0]) {
    case SYNC_SET_KEY: {
        uint32_t track = getBigEndian32(payload), row = getBigEndian32(payload + 4);
        uint32_t bits = getBigEndian32(payload + 8);
        uint8_t interpolation = payload[12];
        if (!checkTrackAndRow("SET_KEY", track, row))
            return;
        float value = 0.0f;
        std::memcpy(&value, &bits, sizeof value);
        if (interpolation > SYNC_LAST_INTERPOLATION) {
            std::snprintf(message, sizeof message, "sync editor: SET_KEY with interpolation %u (0 to 3)",
                          static_cast<unsigned>(interpolation));
            fail(message);
            return;
        }
        if (!std::isfinite(value)) {
            fail("sync editor: SET_KEY with a value that is not a finite number");
            return;
        }
        if (setSyncKey(static_cast<int>(track), static_cast<int32_t>(row), value, interpolation) ==
            SYNC_KEY_REFUSED)
            pushEvent({SYNC_EVENT_KEY_REFUSED, track, row, false});
        return;
    }
    case SYNC_DELETE_KEY: {
        uint32_t track = getBigEndian32(payload), row = getBigEndian32(payload + 4);
        if (checkTrackAndRow("DELETE_KEY", track, row))
            deleteSyncKey(static_cast<int>(track), static_cast<int32_t>(row));
        return;
    }
    case SYNC_SET_ROW: {
        uint32_t row = getBigEndian32(payload);
        if (checkTrackAndRow("SET_ROW", 0, row))
            pushEvent({SYNC_EVENT_ROW, 0, row, false});
        return;
    }
    case SYNC_PAUSE:
        pushEvent({SYNC_EVENT_PAUSE, 0, 0, payload[0] != 0});
        return;
    default: // SYNC_SAVE_TRACKS
        pushEvent({SYNC_EVENT_SAVE, 0, 0, false});
        return;
    }
}

size_t feedSyncBytes(const unsigned char* bytes, size_t size) {
    SyncClient& client = syncClient;
    if (client.phase == SYNC_IDLE || client.phase == SYNC_FAILED)
        return size;
    char message[160];
    size_t taken = 0;
    while (taken < size) {
        if (client.phase == SYNC_GREETING) {
            if (bytes[taken++] != static_cast<unsigned char>(SYNC_SERVER_GREETING[client.greetingBytes])) {
                fail("sync editor: the greeting is not \"hello, demo!\"");
                return size;
            }
            if (++client.greetingBytes == SYNC_SERVER_GREETING_SIZE) {
                startTalking();
                if (client.phase == SYNC_FAILED)
                    return size;
            }
            continue;
        }
        if (client.commandBytes == 0 && client.eventCount == SYNC_MAX_EVENTS)
            break; // the caller takes the events first
        unsigned char byte = bytes[taken++];
        client.command[client.commandBytes++] = byte;
        int payload = payloadSize(client.command[0]);
        if (payload < 0) {
            std::snprintf(message, sizeof message, "sync editor: unknown command %u",
                          static_cast<unsigned>(client.command[0]));
            fail(message);
            return size;
        }
        if (client.commandBytes < static_cast<size_t>(payload) + 1)
            continue;
        client.commandBytes = 0;
        runCommand();
        if (client.phase == SYNC_FAILED)
            return size;
        if (client.command[0] == SYNC_SAVE_TRACKS)
            break;
    }
    return taken;
}

void sendSyncRow(uint32_t row) {
    SyncClient& client = syncClient;
    if (client.phase != SYNC_TALKING)
        return;
    if (client.pendingRowAt >= 0) {
        putBigEndian32(client.output + client.pendingRowAt + 1, row);
        return;
    }
    unsigned char command[5];
    size_t size = encodeSetRow(row, command, sizeof command);
    long at = static_cast<long>(client.outputSize);
    // An editor that reads nothing gets no more rows; the newest replaces the queued one meanwhile.
    if (queueOutput(command, size))
        client.pendingRowAt = at;
}

bool sendSyncKey(uint32_t track, uint32_t row, bool remove, float value, uint8_t interpolation) {
    SyncClient& client = syncClient;
    if (client.phase != SYNC_TALKING)
        return false;
    unsigned char command[14];
    command[0] = remove ? SYNC_DELETE_KEY : SYNC_SET_KEY;
    putBigEndian32(command + 1, track);
    putBigEndian32(command + 5, row);
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    putBigEndian32(command + 9, bits);
    command[13] = interpolation;
    if (!queueOutput(command, remove ? SYNC_DELETE_KEY_SIZE : SYNC_SET_KEY_SIZE))
        return false;
    // A row queued before stays before the key: a newer row goes after it.
    client.pendingRowAt = -1;
    return true;
}

bool syncOutputFits(size_t commands, size_t bytes) {
    const SyncClient& client = syncClient;
    return client.phase == SYNC_TALKING && bytes <= sizeof client.output - client.outputSize &&
           commands <= SYNC_MAX_OUTPUT_COMMANDS - client.commandCount;
}

const unsigned char* pendingSyncOutput(size_t* size) {
    *size = syncClient.outputSize;
    return syncClient.output;
}

void dropSyncOutput(size_t count) {
    SyncClient& client = syncClient;
    if (count > client.outputSize)
        count = client.outputSize;
    std::memmove(client.output, client.output + count, client.outputSize - count);
    client.outputSize -= count;
    size_t gone = 0;
    while (gone < client.commandCount && client.commandEnds[gone] <= count)
        ++gone;
    client.commandCount -= gone;
    for (size_t i = 0; i < client.commandCount; ++i)
        client.commandEnds[i] = static_cast<uint16_t>(client.commandEnds[i + gone] - count);
    if (client.pendingRowAt >= 0)
        client.pendingRowAt = static_cast<long>(count) > client.pendingRowAt
                                  ? -1
                                  : client.pendingRowAt - static_cast<long>(count);
}

size_t pendingSyncCommandSize() {
    return syncClient.commandCount == 0 ? 0 : syncClient.commandEnds[0];
}

size_t takeSyncOutput(unsigned char* out, size_t capacity) {
    size_t size = syncClient.outputSize < capacity ? syncClient.outputSize : capacity;
    if (size == 0)
        return 0;
    std::memcpy(out, syncClient.output, size);
    dropSyncOutput(size);
    return size;
}
