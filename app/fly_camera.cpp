// Fly mode's flown camera: where it starts, how the held keys and the mouse move it, and its override of the
// camera slots. The scene's camera comes from the scene program itself (render/camera_probe.h).
#include "app/fly_camera.h"

#include "app/transport.h"
#include "platform/ticks.h"
#include "render/camera_probe.h"
#include "render/shader_sources.h"
#include "render/stage_reloader.h"
#include "sync/sync_tracks.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

FlyCamera flyCamera;

static constexpr double DEGREES = 3.14159265358979323846 / 180.0;

static char titleNote[FLY_NOTE_SIZE + 8];

void resetFlyCamera() {
    flyCamera = FlyCamera();
}

static uint32_t noteTick = 0;

void setFlyNote(const char* text) {
    std::snprintf(flyCamera.note, sizeof flyCamera.note, "%s", text);
    noteTick = readTickCount();
}

bool sceneCameraAt(double seconds, SceneCamera* camera) {
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

void flownTarget(double out[3]) {
    double f[3];
    forward(f);
    for (int k = 0; k < 3; ++k)
        out[k] = flyCamera.eye[k] + f[k] * flyCamera.lookDistance;
}

bool startFlying(double shownSeconds) {
    SceneCamera scene;
    if (!sceneCameraAt(shownSeconds, &scene)) {
        setFlyNote("fly: the scene's camera cannot be asked");
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
    setFlyNote("");
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

void holdFlyMove(FlyMove move, bool down) {
    flyCamera.held[move] = down && flyCamera.flying;
}

void changeFlySpeed(int steps) {
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
        changeFlySpeed(takeWholeNotches(event.wheel));
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
