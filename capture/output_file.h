// Output that appears whole or not at all: written under a temporary name beside the target (same folder,
// so the final rename is atomic) and renamed over it only when complete.
#pragma once
#include <string>

struct PendingOutput {
    std::string target;
    std::string temp;
    bool folder = false;
    int slot = 0; // the interrupt handler's slot for a file
};

// Creates the temporary file or folder; false, with the reason, when the target's folder cannot be
// written (or, for a folder, the target already exists). The temporary is removed if the run is abandoned.
bool beginOutput(const std::string& target, bool folder, int slot, PendingOutput* out, std::string* why);
// Renames the temporary to the target.
bool commitOutput(PendingOutput* out, std::string* why);
// Removes the temporary (and, for a folder, what is in it).
void discardOutput(PendingOutput* out);

// "reason: strerror(errno)" for the last failed call.
std::string describeError(const std::string& what);
