// The frame loop's fixed order of steps.
#include "app/frame_loop.h"

#include "app/frame_rate_title.h"
#include "app/idle_pass.h"
#include "app/run_state.h"
#include "audio/loudness_envelope.h"
#include "audio/music_clock.h"
#include "audio/soundtrack.h"
#include "platform/ticks.h"
#include "platform/window.h"
#include "render/gl_api.h"
#include "render/scale_target.h"
#include "render/scene_program.h"
#include "render/track_uniform.h"
#include "sync/sync_tracks.h"

static_assert(SYNC_TRACK_COUNT <= TRACK_UNIFORM_VALUES, "a uniform value for every track");

static TrackValueOverride trackOverride = nullptr;

void setTrackValueOverride(TrackValueOverride override) {
    trackOverride = override;
}

double stepFrameTime() {
    double time = readMusicTime();
    if (time > END_TIME)
        stopRunning(); // this frame is still drawn and shown
    return time;
}

FrameBeat stepFrameBeat() {
    FrameBeat signals;
    signals.beat = beatAt(readMusicTime());
    signals.beatHalf = nextBeatHalf(signals.beat);
    return signals;
}

void runFramePass() {
    pumpWindowMessages();
    drawFramePass();
}

void drawFramePass() {
    // The frame's cost for the automatic scale, from here to the present: messages (a window's modal loop
    // among them) and whatever runs between passes are not the scene's.
    uint32_t drawStart = readTickCount();
    int width = 0, height = 0;
    readClientSize(&width, &height);
    if (showsNothing(width, height)) {
        finishIdlePass();
        return;
    }
    int clientWidth = width, clientHeight = height;
    bindScaleTarget(&width, &height); // only with a render scale: then the target's size
    glViewport(0, 0, width, height);
    gl.uniform2f(uniforms.iResolution, static_cast<float>(width), static_cast<float>(height));

    const double time = stepFrameTime();
    gl.uniform1f(uniforms.iTime, static_cast<float>(time));
    // A second reading, a moment later, drives the beat signals.
    FrameBeat signals = stepFrameBeat();
    gl.uniform1f(uniforms.iBeat, signals.beat);
    gl.uniform1f(uniforms.iBeatHalf, signals.beatHalf);

    // The tracks at this pass's music time, the one iTime carries.
    // In track order first: author mode's flown camera replaces tracks, not slots.
    float values[SYNC_TRACK_COUNT];
    readTrackValues(rowAtTime(time), values);
    if (trackOverride != nullptr)
        trackOverride(time, values);
    float trackValues[TRACK_UNIFORM_VALUES];
    placeTrackValuesInSlots(values, trackValues, TRACK_UNIFORM_VALUES);
    sendTrackValues(sceneProgram, trackValues);

    if (sceneProgram == 0)
        glClear(GL_COLOR_BUFFER_BIT); // the draw below then leaves the buffer as it was: show black instead
    glDrawArrays(GL_TRIANGLES, 0, 3);
    drawScaleTarget(clientWidth, clientHeight);
    presentFrame();
    uint32_t shown = readTickCount();
    countFrameForScale(drawStart, shown);
    countFrameForTitle(shown);
}

void runFrameLoop() {
    while (isRunning())
        runFramePass();
}
