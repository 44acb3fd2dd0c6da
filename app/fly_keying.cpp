// Fly mode's keying: K keys the flown view onto the camera tracks and publishes it (the tracks folder or an
// editor that takes keys), Ctrl+Z takes the last K back, [ and ] go to the rows holding keys; and fly mode's
// key actions, which these and the flown camera carry out.
#include "app/fly_keying.h"

#include "app/author_tracks.h"
#include "app/fly_camera.h"
#include "app/sync_link.h"
#include "app/transport.h"
#include "platform/debug_output.h"
#include "render/camera_probe.h"
#include "sync/sync_protocol.h"
#include "sync/sync_tracks.h"
#include "sync/track_files.h"

#include <cmath>
#include <cstdio>
#include <string>

// What K replaced at its row, per keyed track, for Ctrl+Z.
struct KeyedStep {
    bool valid = false;
    int32_t row = 0;
    bool had[FLY_KEYED_TRACKS];
    float value[FLY_KEYED_TRACKS];
    uint8_t interpolation[FLY_KEYED_TRACKS];
};

static KeyedStep lastKeyed;
static std::string folder;
static bool sendKeys = false;

void resetFlyMode() {
    resetFlyCamera();
    lastKeyed = KeyedStep();
    folder.clear();
    sendKeys = false;
}

void startFlyMode(const char* tracksFolder, bool sendKeysToEditor) {
    resetFlyMode();
    folder = tracksFolder != nullptr ? tracksFolder : "";
    sendKeys = sendKeysToEditor;
}

// The track's key at `row`, if any.
static int keyIndex(int track, int32_t row) {
    const SyncTrackKeys& keys = syncTracks.tracks[track];
    for (int i = 0; i < keys.count; ++i)
        if (keys.rows[i] == row)
            return i;
    return -1;
}

float unwrapRoll(float value, int32_t row) {
    const SyncTrackKeys& keys = syncTracks.tracks[TRACK_CAMERA_ROLL];
    int neighbour = -1;
    for (int i = 0; i < keys.count; ++i) {
        if (keys.rows[i] < row)
            neighbour = i;
        else if (keys.rows[i] > row && neighbour < 0) {
            neighbour = i;
            break;
        }
    }
    if (neighbour < 0)
        return value;
    double turns = std::round((keys.values[neighbour] - static_cast<double>(value)) / 360.0);
    return static_cast<float>(value + turns * 360.0);
}

int32_t neighbourKeyRow(int32_t row, int direction) {
    int32_t best = -1;
    for (int track = 0; track < SYNC_TRACK_COUNT; ++track) {
        const SyncTrackKeys& keys = syncTracks.tracks[track];
        for (int i = 0; i < keys.count; ++i) {
            int32_t r = keys.rows[i];
            if (direction < 0 && r < row && r > best)
                best = r;
            if (direction > 0 && r > row && (best < 0 || r < best))
                best = r;
        }
    }
    return best;
}

// The first file a write could not write, for the title; every one goes to the error output.
static std::string firstUnwritten;

static void reportFile(const char* message) {
    if (firstUnwritten.empty())
        firstUnwritten = message;
    writeDebugOutput((std::string("doz-engine: ") + message).c_str());
}

// The camera tracks a K changes: the only track files it writes.
static SyncTrackSet keyedTrackSet() {
    SyncTrackSet tracks = 0;
    for (int t = 0; t < FLY_KEYED_TRACKS; ++t)
        tracks |= syncTrackBit(TRACK_CAMERA_POS_X + t);
    return tracks;
}

// The keys of the table go where keys are kept: the linked editor (opted in) or the tracks folder.
static void publishKeys(const KeyedStep& step, const char* done) {
    char text[FLY_NOTE_SIZE];
    if (syncLinkActive()) {
        int sent = 0;
        for (int t = 0; t < FLY_KEYED_TRACKS; ++t) {
            const int track = TRACK_CAMERA_POS_X + t;
            int at = keyIndex(track, step.row);
            const SyncTrackKeys& keys = syncTracks.tracks[track];
            bool ok = at >= 0 ? sendSyncKey(static_cast<uint32_t>(track), static_cast<uint32_t>(step.row),
                                            false, keys.values[at], keys.interpolations[at])
                              : sendSyncKey(static_cast<uint32_t>(track), static_cast<uint32_t>(step.row),
                                            true, 0.f, 0);
            sent += ok ? 1 : 0;
        }
        std::snprintf(text, sizeof text,
                      sent == FLY_KEYED_TRACKS ? "%s row %d: sent to the editor"
                                               : "%s row %d: the editor is not linked now",
                      done, static_cast<int>(step.row));
    } else if (!folder.empty()) {
        firstUnwritten.clear();
        int failed = writeOwnTracksFolder(folder.c_str(), reportFile, keyedTrackSet());
        if (failed == 0)
            std::snprintf(text, sizeof text, "%s row %d", done, static_cast<int>(step.row));
        else
            std::snprintf(text, sizeof text, "%s row %d: %d not written: %s", done,
                          static_cast<int>(step.row), failed, firstUnwritten.c_str());
    } else {
        std::snprintf(text, sizeof text, "%s row %d (no tracks folder)", done, static_cast<int>(step.row));
    }
    setFlyNote(text);
}

// Linked without the opt-in the editor's keys stand: the demo writes none.
static bool editorHoldsKeys() {
    if (syncLinkActive() && !sendKeys) {
        setFlyNote("the editor holds the keys: K writes nothing (--sync-send-keys)");
        return true;
    }
    return false;
}

// Opted in and linked: the editor takes the camera key whole or it is not made, so that the table and the
// editor never part (a greeting empties the table, and the editor's keys come back then).
static bool editorCannotTake(const char* what, const KeyedStep& step, bool removing) {
    if (!syncLinkActive())
        return false;
    size_t bytes = 0;
    for (int t = 0; t < FLY_KEYED_TRACKS; ++t)
        bytes += removing && !step.had[t] ? SYNC_DELETE_KEY_SIZE : SYNC_SET_KEY_SIZE;
    char text[FLY_NOTE_SIZE];
    if (!syncLinkGreeted())
        std::snprintf(text, sizeof text, "%s: the editor is not linked now; nothing changed", what);
    else if (!syncOutputFits(FLY_KEYED_TRACKS, bytes))
        std::snprintf(text, sizeof text, "%s: the link is still sending; nothing changed, try again", what);
    else
        return false;
    setFlyNote(text);
    return true;
}

// The first `tracks` camera tracks at the step's row as they were before it: its old keys back, its new
// ones gone.
static void restoreKeysBefore(const KeyedStep& step, int tracks) {
    for (int t = 0; t < tracks; ++t) {
        if (step.had[t])
            setSyncKey(TRACK_CAMERA_POS_X + t, step.row, step.value[t], step.interpolation[t]);
        else
            deleteSyncKey(TRACK_CAMERA_POS_X + t, step.row);
    }
}

bool keyFlownView(int32_t row) {
    if (!flyCamera.flying) {
        setFlyNote("K keys the flown view: F flies");
        return false;
    }
    if (editorHoldsKeys())
        return false;
    SceneCamera scene;
    if (!sceneCameraAt(timeAtRow(row), &scene)) {
        setFlyNote("fly: the scene's camera cannot be asked");
        return false;
    }
    double target[3];
    flownTarget(target);
    float values[FLY_KEYED_TRACKS];
    for (int k = 0; k < 3; ++k) {
        values[k] = static_cast<float>(flyCamera.eye[k] - scene.eye[k]);
        values[3 + k] = static_cast<float>(target[k] - scene.target[k]);
    }
    values[TRACK_CAMERA_ROLL - TRACK_CAMERA_POS_X] = unwrapRoll(flyCamera.roll, row);
    values[TRACK_CAMERA_FOV - TRACK_CAMERA_POS_X] = flyCamera.fov;

    KeyedStep step;
    step.row = row;
    for (int t = 0; t < FLY_KEYED_TRACKS; ++t) {
        const int track = TRACK_CAMERA_POS_X + t;
        int at = keyIndex(track, row);
        step.had[t] = at >= 0;
        step.value[t] = at >= 0 ? syncTracks.tracks[track].values[at] : 0.f;
        step.interpolation[t] =
            at >= 0 ? syncTracks.tracks[track].interpolations[at] : static_cast<uint8_t>(SYNC_LINEAR);
    }
    if (editorCannotTake("K", step, false))
        return false;
    for (int t = 0; t < FLY_KEYED_TRACKS; ++t) {
        if (setSyncKey(TRACK_CAMERA_POS_X + t, row, values[t], step.interpolation[t]) == SYNC_KEY_REFUSED) {
            // Whole or nothing: the tracks keyed so far go back.
            restoreKeysBefore(step, t);
            setFlyNote("K: a camera track is full");
            return false;
        }
    }
    step.valid = true;
    lastKeyed = step;
    publishKeys(step, "keyed");
    return true;
}

bool undoFlownKeys() {
    if (!lastKeyed.valid) {
        setFlyNote("nothing to undo");
        return false;
    }
    if (editorHoldsKeys())
        return false;
    const KeyedStep step = lastKeyed;
    if (editorCannotTake("Ctrl+Z", step, true))
        return false;
    restoreKeysBefore(step, FLY_KEYED_TRACKS);
    lastKeyed.valid = false;
    publishKeys(step, "undone");
    return true;
}

static void jumpToKey(int direction) {
    const double now = transportTime();
    const int32_t shown = rowOfTime(now);
    // From inside a row that holds a key, back goes to that row's start first.
    const bool keyedHere = neighbourKeyRow(shown + 1, -1) == shown;
    int32_t row =
        direction < 0 && keyedHere && insideShownRow(now) ? shown : neighbourKeyRow(shown, direction);
    if (row < 0) {
        setFlyNote(direction < 0 ? "no key before this row" : "no key after this row");
        return;
    }
    seekTo(timeAtRow(row));
    char text[FLY_NOTE_SIZE];
    std::snprintf(text, sizeof text, "row %d", static_cast<int>(row));
    setFlyNote(text);
}

bool performFlyAction(KeyAction action, bool down) {
    // The moves are held: the key's press starts one, its release ends it.
    static const KeyAction MOVES[FLY_MOVE_COUNT] = {KeyAction::FlyForward, KeyAction::FlyLeft,
                                                    KeyAction::FlyBack,    KeyAction::FlyRight,
                                                    KeyAction::FlyDown,    KeyAction::FlyUp};
    for (int m = 0; m < FLY_MOVE_COUNT; ++m)
        if (action == MOVES[m]) {
            holdFlyMove(static_cast<FlyMove>(m), down);
            return true;
        }
    if (!down)
        return false;
    switch (action) {
    case KeyAction::ToggleFly:
        if (flyCamera.flying)
            stopFlying();
        else
            startFlying(transportTime());
        return true;
    case KeyAction::KeyFlownView:
        if (keyFlownView(rowOfTime(transportTime())) && transport.paused)
            // Paused inside the row, the time goes to the row's start: what stays on screen is what was
            // keyed.
            seekTo(timeAtRow(rowOfTime(transportTime())));
        return true;
    case KeyAction::UndoFlownKeys:
        undoFlownKeys();
        return true;
    case KeyAction::PreviousKeyRow:
    case KeyAction::NextKeyRow:
        jumpToKey(action == KeyAction::PreviousKeyRow ? -1 : +1);
        return true;
    case KeyAction::FlyFaster:
    case KeyAction::FlySlower:
        changeFlySpeed(action == KeyAction::FlyFaster ? 1 : -1);
        return true;
    default:
        return false;
    }
}
