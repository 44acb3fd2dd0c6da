// The main loop: one full-screen triangle per pass, timed by the music clock.
#pragma once

// Runs passes while the running flag is set.
void runFrameLoop();

// One pass: messages, viewport and resolution, time and end rule, beat signals, draw, present, title.
void runFramePass();

// What the pass's clock steps read: the music time (iTime) and the beat signals (iBeat, iBeatHalf).
struct FrameClock {
    double time;
    float beat, beatHalf;
};

// The pass's clock steps alone: the first reading of the music clock and the end rule, then a second
// reading, a moment later, for the beat signals (one step of the onset rule). A drawn pass runs them; an
// offline run that leaves a frame out runs only them, so later frames find the beat state a run leaves.
FrameClock stepFrameClock();

// The pass after its message step, for a loop that acts on the messages' outcome before the clock is read
// (author mode moves the sound device once for all the keys of a step).
void drawFramePass();
