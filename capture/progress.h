// Progress of a capture on stderr: a bar redrawn in place on a terminal, a plain line per percent otherwise.
#pragma once

// `what` names the job ("video"), `unit` what is counted ("frames").
void startProgress(const char* what, const char* unit, int total);
void reportProgress(int done);
// Ends the bar's line on a terminal.
void finishProgress();

// "2:05" for 125 seconds; "1:02:03" past an hour.
void formatDuration(double seconds, char* buffer, int size);
