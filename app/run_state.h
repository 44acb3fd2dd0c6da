// The running flag: true from the start; cleared by input or by the end of the music.
#pragma once

bool isRunning();
void stopRunning();
// Sets the flag again: a web page plays the demo once more after its end; in author mode the music
// passing its end wraps instead of ending the run.
void startRunning();
