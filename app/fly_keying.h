// Fly mode's keying: K keys the flown view onto the camera tracks at the current row, so that the frame at
// that row is the flown view; Ctrl+Z takes the last K back; [ and ] go to the previous and next row holding
// a key. And fly mode's key actions (app/key_table.h), carried out here and by the flown camera.
#pragma once
#include "app/fly_camera.h"
#include "app/key_table.h"

#include <cstdint>

// Fly mode from the start: the flown camera reset, nothing to undo; K writes into `tracksFolder` (empty: the
// live table only), or sends a linked editor the keys when `sendKeysToEditor` (--sync-send-keys).
void startFlyMode(const char* tracksFolder, bool sendKeysToEditor);
// Back to a fresh process: not flying, nothing to undo, no folder.
void resetFlyMode();

// Fly mode's key actions (F, K, Ctrl+Z, [ and ], the moves and the speed); false for any other.
bool performFlyAction(KeyAction action, bool down);

// K: keys the flown camera at `row`, each key the flown value minus the scene's camera at the row's own
// time (an existing key keeps its interpolation, a new one is linear, the roll unwrapped); then the tracks
// folder, or a linked editor, gets them. Ctrl+Z: the keys as they were before the last K. False, with a
// note, when nothing was done.
bool keyFlownView(int32_t row);
bool undoFlownKeys();

// `value` moved by whole turns to within 180 degrees of the roll key before `row` (or, without one, the
// key after it); as it is without either.
float unwrapRoll(float value, int32_t row);

// The nearest row before (direction -1) or after (+1) `row` that holds a key on any track; -1 for none.
int32_t neighbourKeyRow(int32_t row, int direction);
