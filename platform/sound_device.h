// The sound output: one buffer of 16-bit stereo frames at 44,100 Hz, looped by the device itself.
#pragma once
#include <cstdint>

// Starts playing `frames` interleaved stereo frames in an endless loop. The samples must stay in place for
// the whole run. Returns false when no output device could be opened.
bool openLoopingSound(const int16_t* samples, int32_t frames);

// The device's playback position in sample frames since the start. Returns false when the position cannot
// be read in samples (no device, or a device that reports another time format).
bool readSoundPosition(uint32_t* sampleFrames);

// Author mode. Moves playback to track frame `frame` (0 <= frame < the track's frames); the position goes
// on counting from where it is, or restarts, as the device does. Nothing happens without a device.
void seekSound(int32_t frame);

// Holds playback (silence, the position stands still) or lets it go on.
void pauseSound(bool paused);

// Stops the sound and releases the device, so that nothing reads the samples any more; nothing happens
// when no device is open. Every run ends through it before the window goes.
void closeLoopingSound();
