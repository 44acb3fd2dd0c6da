// Fly mode: the flown camera, its keys and mouse, its override of the camera slots, and K's keys with their
// one step back. The scene's camera comes from the scene program itself (render/camera_probe.h).
#include "app/fly_camera.h"

#include "app/author_tracks.h"
#include "app/sync_link.h"
#include "app/transport.h"
#include "platform/debug_output.h"
#include "platform/ticks.h"
#include "render/camera_probe.h"
#include "render/shader_sources.h"
#include "render/stage_reloader.h"
#include "sync/sync_protocol.h"
#include "sync/sync_tracks.h"
#include "sync/track_files.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

FlyCamera flyCamera;

static constexpr double DEGREES = 3.14159265358979323846 / 180.0;

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
static char titleNote[FLY_NOTE_SIZE + 8];

void resetFlyCamera() {
    flyCamera = FlyCamera();
    lastKeyed = KeyedStep();
    folder.clear();
    sendKeys = false;
}

void startFlyCamera(const char* tracksFolder, bool sendKeysToEditor) {
    resetFlyCamera();
    folder = tracksFolder != nullptr ? tracksFolder : "";
    sendKeys = sendKeysToEditor;
}

static uint32_t noteTick = 0;

static void setNote(const char* text) {
    std::snprintf(flyCamera.note, sizeof flyCamera.note, "%s", text);
    noteTick = readTickCount();
}

// The scene's camera at `seconds`, from the stages the scene program was last built from.
static bool sceneCameraAt(double seconds, SceneCamera* camera) {
    const bool fromFolder = !stageReloader.runningFragment.empty() && !stageReloader.runningVertex.empty();
    return probeSceneCamera(fromFolder ? stageReloader.runningVertex.c_str() : SCENE_VERTEX_SOURCE,
                            fromFolder ? stageReloader.runningFragment.c_str() : SCENE_FRAGMENT_SOURCE,
                            seconds, camera);
}

static void forward(double out[3]) {
    const FlyCamera& c = flyCamera;
    out[0] = std::cos(c.pitch * DEGREES) * std::cos(c.yaw * DEGREES);
    out[1] = std::cos(c.pitch * DEGREES) * std::sin(c.yaw * DEGREES);
    out[2] = std::sin(c.pitch * DEGREES);
}

static void flownTarget(double out[3]) {
    double f[3];
    forward(f);
    for (int k = 0; k < 3; ++k)
        out[k] = flyCamera.eye[k] + f[k] * flyCamera.lookDistance;
}

bool startFlying(double shownSeconds) {
    SceneCamera scene;
    if (!sceneCameraAt(shownSeconds, &scene)) {
        setNote("fly: the scene's camera cannot be asked");
        return false;
    }
    float tracks[SYNC_TRACK_COUNT];
    readTrackValues(rowAtTime(shownSeconds), tracks);
    FlyCamera& c = flyCamera;
    double target[3], view[3], length = 0.0;
    for (int k = 0; k < 3; ++k) {
        c.eye[k] = static_cast<double>(scene.eye[k]) + tracks[TRACK_CAMERA_POS_X + k];
        target[k] = static_cast<double>(scene.target[k]) + tracks[TRACK_CAMERA_TARGET_X + k];
        view[k] = target[k] - c.eye[k];
        length += view[k] * view[k];
    }
    length = std::sqrt(length);
    if (!(length > 1e-4)) {
        view[0] = 1.0, view[1] = 0.0, view[2] = 0.0;
        length = 1.0;
    }
    c.lookDistance = length;
    c.yaw = std::atan2(view[1], view[0]) / DEGREES;
    double pitch = std::asin(std::fmax(-1.0, std::fmin(1.0, view[2] / length))) / DEGREES;
    c.pitch = std::fmax(-FLY_PITCH_LIMIT, std::fmin(FLY_PITCH_LIMIT, pitch));
    c.roll = tracks[TRACK_CAMERA_ROLL];
    c.fov = tracks[TRACK_CAMERA_FOV];
    for (bool& held : c.held)
        held = false;
    c.turning = false;
    c.lastStepTick = readTickCount();
    c.flying = true;
    setNote("");
    return true;
}

void stopFlying() {
    flyCamera.flying = false;
    flyCamera.note[0] = '\0';
    for (bool& held : flyCamera.held)
        held = false;
    flyCamera.turning = false;
}

void stepFlyCamera(uint32_t nowMs) {
    FlyCamera& c = flyCamera;
    uint32_t elapsed = nowMs - c.lastStepTick;
    c.lastStepTick = nowMs;
    if (!c.flying)
        return;
    if (elapsed > FLY_LONGEST_STEP_MS)
        elapsed = FLY_LONGEST_STEP_MS;
    double f[3], right[3] = {0.0, 0.0, 0.0};
    forward(f);
    // The screen's right, as the scene makes it: up crossed with forward.
    right[0] = -std::sin(c.yaw * DEGREES);
    right[1] = std::cos(c.yaw * DEGREES);
    const double up[3] = {0.0, 0.0, 1.0};
    double speed = std::fmax(c.lookDistance, 0.05) * FLY_DISTANCES_PER_SECOND * std::exp2(c.speedStep * 0.5);
    if (c.fast)
        speed *= FLY_FAST_FACTOR;
    const double step = speed * elapsed / 1000.0;
    const double along[FLY_MOVE_COUNT] = {1.0, -1.0, -1.0, 1.0, -1.0, 1.0};
    const double* axis[FLY_MOVE_COUNT] = {f, right, f, right, up, up};
    for (int m = 0; m < FLY_MOVE_COUNT; ++m)
        if (c.held[m])
            for (int k = 0; k < 3; ++k)
                c.eye[k] += along[m] * step * axis[m][k];
}

void overrideFlownTracks(double seconds, float* values) {
    if (!flyCamera.flying)
        return;
    SceneCamera scene;
    if (!sceneCameraAt(seconds, &scene))
        return;
    double target[3];
    flownTarget(target);
    for (int k = 0; k < 3; ++k) {
        values[TRACK_CAMERA_POS_X + k] = static_cast<float>(flyCamera.eye[k] - scene.eye[k]);
        values[TRACK_CAMERA_TARGET_X + k] = static_cast<float>(target[k] - scene.target[k]);
    }
    values[TRACK_CAMERA_ROLL] = flyCamera.roll;
    values[TRACK_CAMERA_FOV] = flyCamera.fov;
}

int32_t rowOfTime(double seconds) {
    double row = shownRowAt(seconds);
    if (!(row >= 0.0))
        return 0;
    return row > SYNC_MAX_ROW ? SYNC_MAX_ROW : static_cast<int32_t>(row);
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
    setNote(text);
}

// Linked without the opt-in the editor's keys stand: the demo writes none.
static bool editorHoldsKeys() {
    if (syncLinkActive() && !sendKeys) {
        setNote("the editor holds the keys: K writes nothing (--sync-send-keys)");
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
    setNote(text);
    return true;
}

bool keyFlownView(int32_t row) {
    if (!flyCamera.flying) {
        setNote("K keys the flown view: F flies");
        return false;
    }
    if (editorHoldsKeys())
        return false;
    SceneCamera scene;
    if (!sceneCameraAt(timeAtRow(row), &scene)) {
        setNote("fly: the scene's camera cannot be asked");
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
            for (int u = 0; u < t; ++u) {
                if (step.had[u])
                    setSyncKey(TRACK_CAMERA_POS_X + u, row, step.value[u], step.interpolation[u]);
                else
                    deleteSyncKey(TRACK_CAMERA_POS_X + u, row);
            }
            setNote("K: a camera track is full");
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
        setNote("nothing to undo");
        return false;
    }
    if (editorHoldsKeys())
        return false;
    const KeyedStep step = lastKeyed;
    if (editorCannotTake("Ctrl+Z", step, true))
        return false;
    for (int t = 0; t < FLY_KEYED_TRACKS; ++t) {
        if (step.had[t])
            setSyncKey(TRACK_CAMERA_POS_X + t, step.row, step.value[t], step.interpolation[t]);
        else
            deleteSyncKey(TRACK_CAMERA_POS_X + t, step.row);
    }
    lastKeyed.valid = false;
    publishKeys(step, "undone");
    return true;
}

static void changeSpeed(int steps) {
    int step = flyCamera.speedStep + steps;
    if (step > FLY_SPEED_STEP_LIMIT)
        step = FLY_SPEED_STEP_LIMIT;
    if (step < -FLY_SPEED_STEP_LIMIT)
        step = -FLY_SPEED_STEP_LIMIT;
    flyCamera.speedStep = step;
}

// The whole notches turned so far, towards zero; the fraction left waits for the next wheel event.
static int takeWholeNotches(float wheel) {
    double& notches = flyCamera.wheelNotches;
    notches += static_cast<double>(wheel);
    const double whole = std::trunc(notches + (notches < 0.0 ? -FLY_WHEEL_SLACK : FLY_WHEEL_SLACK));
    notches -= whole;
    if (std::fabs(notches) < FLY_WHEEL_SLACK)
        notches = 0.0;
    return static_cast<int>(whole);
}

static void jumpToKey(int direction) {
    const double now = transportTime();
    const int32_t shown = rowOfTime(now);
    // From inside a row that holds a key, back goes to that row's start first.
    const bool keyedHere = neighbourKeyRow(shown + 1, -1) == shown;
    int32_t row =
        direction < 0 && keyedHere && insideShownRow(now) ? shown : neighbourKeyRow(shown, direction);
    if (row < 0) {
        setNote(direction < 0 ? "no key before this row" : "no key after this row");
        return;
    }
    seekTo(timeAtRow(row));
    char text[FLY_NOTE_SIZE];
    std::snprintf(text, sizeof text, "row %d", static_cast<int>(row));
    setNote(text);
}

bool performFlyAction(KeyAction action, bool down) {
    FlyCamera& c = flyCamera;
    // The moves are held: the key's press starts one, its release ends it.
    static const KeyAction MOVES[FLY_MOVE_COUNT] = {KeyAction::FlyForward, KeyAction::FlyLeft,
                                                    KeyAction::FlyBack,    KeyAction::FlyRight,
                                                    KeyAction::FlyDown,    KeyAction::FlyUp};
    for (int m = 0; m < FLY_MOVE_COUNT; ++m)
        if (action == MOVES[m]) {
            c.held[m] = down && c.flying;
            return true;
        }
    if (!down)
        return false;
    switch (action) {
    case KeyAction::ToggleFly:
        if (c.flying)
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
        changeSpeed(action == KeyAction::FlyFaster ? 1 : -1);
        return true;
    default:
        return false;
    }
}

bool handleFlyInput(const RawInputEvent& event) {
    FlyCamera& c = flyCamera;
    if (event.type == RawEventType::KeyDown || event.type == RawEventType::KeyUp)
        c.fast = (event.modifiers & MODIFIER_SHIFT) != 0;
    if (!c.flying)
        return false;
    switch (event.type) {
    case RawEventType::MouseDown:
        c.turning = true;
        return true;
    case RawEventType::MouseUp:
        c.turning = false;
        return true;
    case RawEventType::MouseMove:
        if (c.turning) {
            c.yaw += event.dx * FLY_TURN_DEGREES_PER_PIXEL;
            c.pitch -= event.dy * FLY_TURN_DEGREES_PER_PIXEL;
            c.pitch = std::fmax(-FLY_PITCH_LIMIT, std::fmin(FLY_PITCH_LIMIT, c.pitch));
        }
        return true;
    case RawEventType::MouseWheel:
        changeSpeed(takeWholeNotches(event.wheel));
        return true;
    default:
        return false;
    }
}

const char* flyTitleNote() {
    FlyCamera& c = flyCamera;
    // Out of fly mode a note (an undo, a jump, a refusal) shows for a while, then the title is plain again.
    if (!c.flying && c.note[0] != '\0' && readTickCount() - noteTick > FLY_NOTE_SHOWN_MS)
        c.note[0] = '\0';
    std::snprintf(titleNote, sizeof titleNote, "%s%s%s", c.flying ? "fly" : "",
                  c.flying && c.note[0] != '\0' ? "  " : "", c.note);
    return titleNote;
}
