// Author mode's default stage folder: "shaders" in the working directory, made from the built-in stages
// when it is not there, so that whoever holds only the executable can start editing at once.
#pragma once
#include <cstddef>
#include <string>

extern const char* const DEFAULT_SHADERS_FOLDER; // "shaders"

// Writes each stage file that `folder` lacks from the built-in text, making the folder when needed; a file
// already there is never replaced. Returns the names written (space-separated, empty when none was
// missing), or false with the reason in `why`.
bool writeMissingStages(const char* folder, const char* vertexText, const char* fragmentText,
                        std::string* written, char* why, size_t whySize);
