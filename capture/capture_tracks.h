// The tracks a capture draws with: the built-in ones, or a tracks folder's (--tracks, or a job's own
// copy); a job's plan records their hash (loadedTracksHash) so that every chunk is drawn with the same keys.
#pragma once
#include <string>

// The folder whose tracks replace the built-in ones; "" for none.
void setCaptureTracksFolder(const std::string& folder);
const std::string& captureTracksFolder();

// Loads the built-in tracks, then the folder's when one is set, into the track table. With `report`, each
// refused file is said on stderr (its track has no keys). Returns the number refused.
int loadCaptureTracks(bool report);

// Writes the loaded tracks into `folder` (made when missing): every track file and rows.txt. False, with
// the reason, on any failure.
bool writeLoadedTracks(const std::string& folder, std::string* why);
