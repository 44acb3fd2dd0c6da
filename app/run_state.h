// The running flag: true from the start; cleared by input or by the end of the music.
#pragma once

bool isRunning();
void stopRunning();
// Author mode: the music passing its end wraps instead of ending the run.
void resumeRunning();
