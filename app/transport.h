// Author mode's transport: pause, seeks, frame steps and a loop, all carried out on the sound device so
// that the picture, timed by the music clock, never parts from what is heard.
#pragma once
#include "app/key_table.h"

constexpr double SEEK_STEP = 1.0;
constexpr double FINE_SEEK_STEP = 0.1;
constexpr double FRAME_STEP = 1.0 / 60.0;

struct Transport {
    bool paused = false;
    double pausedAt = 0.0; // the time shown while paused
    bool hasLoopStart = false, hasLoopEnd = false;
    double loopStart = 0.0, loopEnd = 0.0;
    // Moves wait for the step before the next pass, so that the keys of one message step (a held seek key
    // repeats faster than a slow frame comes) restart the sound device once.
    bool soundMoveDue = false;
    // The sound plays again (after a resume, or at the start) once it has moved: nothing is heard before.
    bool soundReleaseDue = false;
};

extern Transport transport;

// Starts at `seconds` (clamped to 0..END_TIME), playing, with no loop. The sound is held until the step
// before the first pass has moved it there, so that nothing else is heard meanwhile (a compile, say).
void startTransport(double seconds);

// The music time now: the held time while paused, else a reading of the clock.
double transportTime();

// Moves to `seconds`, clamped to 0..END_TIME and rounded to a sample; a seek while paused stays paused.
// The clock moves at once; the sound device at the next beforeTransportPass (or applyTransportMoves).
void seekTo(double seconds);
void seekBy(double seconds);
void togglePause();
// One frame back (-1) or forward (+1); only while paused.
void stepFrame(int direction);

// B, N and Backspace: a loop start or end at the current time, or no loop. A loop plays once both ends are
// set and the end lies after the start; an end set without a start loops from 0.
void markLoopStart();
void markLoopEnd();
void clearLoop();
bool loopActive();

// Carries out a transport action (pause, the seeks, the frame steps, the loop); false for any other.
bool performTransportAction(KeyAction action);

// Moves the sound device to the time the moves since the last call asked for, once, and lets it play where
// it should: nothing without such moves.
void applyTransportMoves();

// Around each pass of the frame loop: before it (after the pass's messages), wrap at the loop end, apply the
// moves, and hold the time and the beat state while paused, returning the time the pass is about to draw;
// after it, undo an end of the run that was only the music passing END_TIME, wrapping to 0.
double beforeTransportPass();
void afterTransportPass();
