// How the capture layer reports a failure: a function that can fail returns false (or a state) and says why
// in `std::string* why`; a mode's entry point says it on stderr, once, and returns the exit status.
#pragma once
#include <string>

// Prints "doz-capture: <message>" on stderr and returns 1: the run failed.
int reportFailure(const std::string& message);
// Prints "doz-capture: <message>" on stderr and returns 2: the command line or the job folder is wrong.
int reportRefusal(const std::string& message);
void reportNote(const std::string& message);
// `more` after the reason already in `why` ("first; more"), or alone when there is none.
void addReason(std::string* why, const std::string& more);
