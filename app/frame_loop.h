// The main loop: one full-screen triangle per pass, timed by the music clock.
#pragma once

// Runs passes while the running flag is set.
void runFrameLoop();

// One pass: messages, viewport and resolution, time and end rule, beat signals, draw, present, title.
void runFramePass();

// The pass's beat signals (iBeat, iBeatHalf).
struct FrameBeat {
    float beat, beatHalf;
};

// The pass's clock steps, in its order: the first reading of the music clock and the end rule give iTime,
// which the pass sets before the second reading, a moment later, gives the beat signals (one step of the
// onset rule). An offline run that leaves a frame out runs only these, so that later frames find the beat
// state a run leaves.
double stepFrameTime();
FrameBeat stepFrameBeat();

// Author mode's own view: called with the pass's music time and the tracks' values there, it may change
// them before they are sent (a flown camera). Null (the default): the tracks as they are.
using TrackValueOverride = void (*)(double seconds, float* values);
void setTrackValueOverride(TrackValueOverride override);

// The pass after its message step, for a loop that acts on the messages' outcome before the clock is read
// (author mode moves the sound device once for all the keys of a step).
void drawFramePass();
