// The running flag: true from the start; cleared by input or by the end of the music.
#pragma once

bool isRunning();
void stopRunning();
