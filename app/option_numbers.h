// Numbers in command-line options, read the same way by both executables and doz-capture.
#pragma once

// The whole of `text` as a finite decimal number; false for anything else (empty, trailing characters,
// out of range, inf, nan).
bool readOptionNumber(const char* text, double* value);

// The whole of `text` as a base-10 integer within long's range.
bool readOptionInteger(const char* text, long* value);
