// A chunk of a capture job on disk: its lossless video and its hash file (the plan and renderer it belongs
// to, then one hash per frame), and the checks of both.
#pragma once
#include "capture/capture_job.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

std::string chunkVideoPath(const CaptureJob& job, int index);
std::string chunkHashesPath(const CaptureJob& job, int index);
// The text of a chunk's hash file: the plan and renderer it belongs to, then one hash per frame.
std::string chunkHashesText(const CaptureJob& job, int index, const std::vector<uint64_t>& hashes);
// The command that (re)renders chunk `index`.
std::string redoCommand(const CaptureOptions& options, const CaptureJob& job, int index);

enum class ChunkState { Complete, Missing, Damaged, OtherPlan, OtherBuild };

// Reads chunk `index`'s hash file; anything but Complete comes with the reason.
ChunkState readChunkHashes(const CaptureJob& job, int index, std::vector<uint64_t>* hashes, std::string* why);
// Decodes the chunk's video with ffmpeg and holds every frame to its hash; `take` (when set) receives each
// frame after its check and may stop the walk by returning false. Complete, or Damaged with the reason.
// `videoPath`, when given, is read instead of the chunk's video (an unfinished one).
ChunkState checkChunkFrames(const CaptureJob& job, int index, const std::vector<uint64_t>& hashes,
                            const std::string& ffmpeg,
                            const std::function<bool(const unsigned char*, size_t)>& take, std::string* why,
                            const std::string& videoPath = std::string());
// Both checks.
ChunkState checkChunk(const CaptureJob& job, int index, const std::string& ffmpeg, std::string* why);
