// Every test starts from the process-wide state of a fresh process, so that the tests pass one per process
// (as ctest runs them), all in one process, and in any order.
#pragma once

// Puts back what a fresh process starts with: the running flag, input, titles, transport, music clock, beat
// state, soundtrack length, reloader, scene program, credits texture, render scale and the headless window,
// sound device and tick count, the sync tracks, their row rate and the sync client. The EGL context, which a
// process makes once, stays. State that belongs to the process as a whole (the environment, fontconfig's
// set-up, Mesa's version override) cannot be put back: a test that changes it runs its case in a process of
// its own (a death test in the threadsafe style, which starts the test binary again for that test alone).
// New process-wide state belongs here too.
void resetProcessState();
