// The sync editor's protocol as a byte stream, with no socket: a connection's service feeds the bytes that
// arrived (split anywhere) and sends what the client has queued. The demo is the client:
//   demo -> editor   "hello, synctracker!" (19 bytes), then GET_TRACK (2, u32 name length, name) for every
//                    track in SyncTrack order once the editor has greeted, and SET_ROW (3, u32 row) as it
//                    plays
//   editor -> demo   "hello, demo!" (12 bytes), then SET_KEY (0, u32 track, u32 row, f32 bits, u8
//                    interpolation), DELETE_KEY (1, u32 track, u32 row), SET_ROW (3, u32 row), PAUSE (4, u8),
//                    SAVE_TRACKS (5)
// Numbers are big-endian. A track index is the order of this connection's GET_TRACK requests.
// Keys go straight into the track table. When the editor has greeted, every track is emptied: the editor
// answers each GET_TRACK with the keys it holds, and those are the keys from then on.
#pragma once
#include <cstddef>
#include <cstdint>

#include "sync/sync_tracks.h"

constexpr uint16_t SYNC_EDITOR_PORT = 1338;
extern const char SYNC_CLIENT_GREETING[]; // "hello, synctracker!"
extern const char SYNC_SERVER_GREETING[]; // "hello, demo!"
constexpr size_t SYNC_CLIENT_GREETING_SIZE = 19, SYNC_SERVER_GREETING_SIZE = 12;
// The editor's greeting must be whole this many milliseconds after the connection started.
constexpr uint32_t SYNC_GREETING_TIMEOUT_MS = 2000;

enum SyncCommand : uint8_t {
    SYNC_SET_KEY = 0,
    SYNC_DELETE_KEY = 1,
    SYNC_GET_TRACK = 2,
    SYNC_SET_ROW = 3,
    SYNC_PAUSE = 4,
    SYNC_SAVE_TRACKS = 5,
};

enum SyncPhase {
    SYNC_IDLE,     // no connection
    SYNC_GREETING, // waiting for the editor's greeting
    SYNC_TALKING,  // greeted: commands flow
    SYNC_FAILED,   // bad input: the connection must be dropped; `message` says why
};

// What the caller acts on; keys are already in the table.
enum SyncEventKind {
    SYNC_EVENT_ROW,         // the editor's cursor moved to `row`: seek there
    SYNC_EVENT_PAUSE,       // `paused` says whether to hold or play
    SYNC_EVENT_SAVE,        // write every track's file now
    SYNC_EVENT_KEY_REFUSED, // a SET_KEY for `track`, `row` did not fit: the track is full
};

struct SyncEvent {
    SyncEventKind kind;
    uint32_t track;
    uint32_t row;
    bool paused;
};

constexpr size_t SYNC_MAX_EVENTS = 64;
constexpr size_t SYNC_OUTPUT_ROOM = 2048;
// The smallest command the demo sends is 5 bytes: at most this many fit the output at once.
constexpr size_t SYNC_MAX_OUTPUT_COMMANDS = SYNC_OUTPUT_ROOM / 5 + 1;

struct SyncClient {
    SyncPhase phase = SYNC_IDLE;
    uint32_t startedMs = 0;
    size_t greetingBytes = 0;  // of the editor's greeting, matched so far
    unsigned char command[14]; // the command being read: its byte and as much payload as has come
    size_t commandBytes = 0;
    uint32_t tracksAsked = 0;
    unsigned char output[SYNC_OUTPUT_ROOM];
    size_t outputSize = 0;
    // Where each queued command ends in `output`, oldest first: a transport that keeps message boundaries
    // (the editor's WebSocket port reads one command per message) sends them one at a time.
    uint16_t commandEnds[SYNC_MAX_OUTPUT_COMMANDS];
    size_t commandCount = 0;
    // Where a SET_ROW still wholly unsent sits at the output's end (so a newer row replaces it), or -1.
    long pendingRowAt = -1;
    SyncEvent events[SYNC_MAX_EVENTS];
    size_t eventCount = 0, firstEvent = 0;
    char message[160] = "";
};

extern SyncClient syncClient;

// Back to no connection, nothing queued.
void resetSyncClient();
// A new connection at tick `nowMs` (the platform's millisecond tick count): queues the demo's greeting.
void startSyncConnection(uint32_t nowMs);
// Ends the connection (the caller closed its socket); the keys stay as they are.
void endSyncConnection();

// Reads bytes that arrived from the editor and returns how many it took. It stops early, leaving the rest
// for the next call, when the event queue is full or right after a SAVE_TRACKS, so that the save writes the
// keys as they stood at that point of the stream: call again, after handling the events, until every byte
// is taken. Once failed, it takes every byte and does nothing with them. Bytes are never late: they may
// have waited for a slow frame, so the deadline is checked only after whatever was waiting has been fed.
size_t feedSyncBytes(const unsigned char* bytes, size_t size);
// The greeting's deadline at tick `nowMs`, once the bytes that were waiting have been fed: fails the
// connection when the editor has not greeted within SYNC_GREETING_TIMEOUT_MS of the connection's start.
void checkSyncTimeout(uint32_t nowMs);
bool syncFailed();

// The oldest event not yet taken; false when there is none.
bool takeSyncEvent(SyncEvent* event);

// Queues the demo's row (playing, or after its own seek), only while greeted; a row not yet sent is replaced.
void sendSyncRow(uint32_t row);

// Queues a key the demo made, for an editor that takes keys from the demo: SET_KEY (0, u32 track, u32 row,
// f32 bits, u8 interpolation), or with `remove` DELETE_KEY (1, u32 track, u32 row). Only while greeted;
// false otherwise, or when the queue has no room for it.
bool sendSyncKey(uint32_t track, uint32_t row, bool remove, float value, uint8_t interpolation);

// The size of a SET_KEY and of a DELETE_KEY command.
constexpr size_t SYNC_SET_KEY_SIZE = 14, SYNC_DELETE_KEY_SIZE = 9;
// Whether `commands` more commands of `bytes` in all would be queued now: greeted, and room for every one of
// them, so that a caller can send a group of keys whole or not at all.
bool syncOutputFits(size_t commands, size_t bytes);

// The bytes queued for the editor; drop what the socket took.
const unsigned char* pendingSyncOutput(size_t* size);
// How many of the queued bytes make the oldest command (what is left of it, when part went already); 0 when
// nothing is queued. For a transport that sends one command per message.
size_t pendingSyncCommandSize();
void dropSyncOutput(size_t count);
// Copies up to `capacity` queued bytes into `out` and drops them; returns how many.
size_t takeSyncOutput(unsigned char* out, size_t capacity);

// The demo's messages, for a service or a test; each returns its size, 0 when `out` is too small.
size_t encodeSyncGreeting(unsigned char* out, size_t capacity);
size_t encodeGetTrack(const char* name, unsigned char* out, size_t capacity);
size_t encodeSetRow(uint32_t row, unsigned char* out, size_t capacity);
