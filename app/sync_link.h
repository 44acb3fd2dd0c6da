// The live link to a sync editor: one connection, polled once per frame by author mode's loop and the page.
// It connects, greets, asks for every track, feeds what arrived to the protocol client, and carries out the
// editor's commands on the transport (pause, play, seek to a row) and the tracks folder (save); the demo's
// own row goes back whenever it changes. A connection that fails or turns bad is dropped with a message
// (title and error output) and tried again about once a second; the keys stay as they are meanwhile.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t SYNC_ADDRESS_ROOM = 256;
constexpr uint32_t SYNC_RETRY_MS = 1000;

// Starts linking to `address` ("HOST:PORT" natively, "ws://HOST:PORT" on the page); the first attempt is
// made by the first poll. `tracksFolder` is where a save writes the track files; nullptr: saves are refused.
void startSyncLink(const char* address, const char* tracksFolder);
bool syncLinkActive();
// Linked and greeted: the editor takes commands now.
bool syncLinkGreeted();
// Who carries out the editor's pause: by default the transport's; the page's viewer pause on the page, so
// that its address and holds follow.
using SyncPauseHandler = void (*)(bool paused);
void setSyncPauseHandler(SyncPauseHandler handler);

// Once per frame, before the pass: moves the connection on, reads what arrived and carries out the
// editor's commands.
void pollSyncLink(uint32_t nowMs);
// Once per frame, after the pass that drew `shownSeconds`: sends the demo's row when it changed (the
// editor's own rows are not echoed) and whatever else is queued.
void sendSyncLinkRow(double shownSeconds, uint32_t nowMs);

// What the title adds: "" when there is no link, else the link's state or its last failure.
const char* syncLinkNote();
// Drops the connection (at the run's end).
void stopSyncLink();
