// The main loop: one full-screen triangle per pass, timed by the music clock.
#pragma once

// Runs passes while the running flag is set.
void runFrameLoop();

// One pass: messages, viewport and resolution, time and end rule, beat signals, draw, present, title.
void runFramePass();

// The pass after its message step, for a loop that acts on the messages' outcome before the clock is read
// (author mode moves the sound device once for all the keys of a step).
void drawFramePass();
