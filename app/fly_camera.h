// Author mode's flown camera: a private camera the author steers with the keys and the mouse, drawn in
// place of the keyed camera (keying it is app/fly_keying.h).
//   F        fly mode on or off (off: back to the keyed camera)
//   W A S D  forward, left, back, right; Q E down, up; Shift five times faster
//   drag     a mouse button held turns the view (pitch within +-89 degrees)
//   wheel, + and -  the speed, in steps of a factor sqrt(2), one a notch (fractions of one add up); the
//            speed also scales with the distance to the point looked at
// Movement follows the tick count's frame delta, so it works while the music is paused.
#pragma once
#include "platform/input_event.h"

#include <cstdint>

constexpr double FLY_PITCH_LIMIT = 89.0;
constexpr double FLY_TURN_DEGREES_PER_PIXEL = 0.2;
constexpr int FLY_SPEED_STEP_LIMIT = 12;
// Wheels report fractions of a notch (Windows gives multiples of 1/120, in floats): a sum this close to a
// whole number of notches is that number.
constexpr double FLY_WHEEL_SLACK = 1e-4;
constexpr double FLY_FAST_FACTOR = 5.0;
// The distance to the point looked at covered in a second at speed step 0.
constexpr double FLY_DISTANCES_PER_SECOND = 0.5;
// A frame that took longer (a compile, a dragged window) moves as far as one this long.
constexpr uint32_t FLY_LONGEST_STEP_MS = 100;
constexpr int FLY_NOTE_SIZE = 160;
// How long a note of a key used out of fly mode stays in the title.
constexpr uint32_t FLY_NOTE_SHOWN_MS = 3000;

enum FlyMove { FLY_FORWARD, FLY_LEFT, FLY_BACK, FLY_RIGHT, FLY_DOWN, FLY_UP, FLY_MOVE_COUNT };

// The camera tracks a K keys, in SyncTrack order from TRACK_CAMERA_POS_X.
constexpr int FLY_KEYED_TRACKS = 8;

struct FlyCamera {
    bool flying;
    double eye[3];
    double yaw, pitch;   // degrees; forward is (cos pitch cos yaw, cos pitch sin yaw, sin pitch), z up
    double lookDistance; // to the point looked at
    float roll, fov;     // the camera:roll and camera:fov values, held while flying
    int speedStep;
    double wheelNotches; // turned and not yet a whole step, within (-1, 1)
    bool held[FLY_MOVE_COUNT];
    bool fast;
    bool turning; // a mouse button is held
    uint32_t lastStepTick;
    char note[FLY_NOTE_SIZE]; // what the last fly key did, for the title
};

extern FlyCamera flyCamera;

// The input hook: the Shift held for the moves and, while flying, the mouse (a held button turns the view,
// the wheel sets the speed). True when the event was taken.
bool handleFlyInput(const RawInputEvent& event);
// A move held (`down`) or let go; only while flying.
void holdFlyMove(FlyMove move, bool down);
// The speed `steps` steps of a factor sqrt(2) up (or down), within FLY_SPEED_STEP_LIMIT.
void changeFlySpeed(int steps);

// Fly mode on at music time `shownSeconds`, from the camera drawn there (the scene's camera plus the
// tracks); false, with a note, when the scene's camera cannot be asked. Off: back to the keyed camera.
bool startFlying(double shownSeconds);
void stopFlying();

// Once per frame, before the pass: moves the flown camera by the keys held, for the tick count's time
// since the last step.
void stepFlyCamera(uint32_t nowMs);

// The frame pass's track override: while flying, the camera slots become the flown camera minus the
// scene's camera at `seconds`, so that the picture is the one keying would store.
void overrideFlownTracks(double seconds, float* values);

// The current row: the one a sync editor is shown for music time `seconds`.
int32_t rowOfTime(double seconds);

// The scene's camera at `seconds`, from the stages the scene program was last built from; false when the
// stages cannot be asked.
struct SceneCamera;
bool sceneCameraAt(double seconds, SceneCamera* camera);
// The point the flown camera looks at.
void flownTarget(double out[3]);

// What the last fly key did, for the title.
void setFlyNote(const char* text);
// What the title adds: "fly" and the last note while flying; out of fly mode a note for FLY_NOTE_SHOWN_MS,
// then "".
const char* flyTitleNote();

// Back to a fresh process's flown camera: not flying.
void resetFlyCamera();
