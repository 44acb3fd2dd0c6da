// A WAV of the decoded PcmTrack: the very samples whose position the demo's clock counts, so picture and
// sound of a video stay in step with each other as they do in the demo.
#include "capture/soundtrack_wav.h"

#include "audio/soundtrack.h"
#include "audio/soundtrack_preparation.h"
#include "capture/output_file.h"

#include <cstdio>
#include <vector>

static void putLittleEndian(std::vector<unsigned char>* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

bool writeSoundtrackWav(const std::string& path, uint32_t first, uint32_t frames, std::string* why) {
    // A WAV of an undecoded track would be silence that looks like sound to every check of its format.
    if (!soundtrackDecoded()) {
        *why = "internal error: the soundtrack was not decoded before its WAV was written";
        return false;
    }
    const uint32_t dataBytes = frames * 4;
    std::vector<unsigned char> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    putLittleEndian(&header, 36 + dataBytes, 4);
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLittleEndian(&header, 16, 4);
    putLittleEndian(&header, 1, 2); // PCM
    putLittleEndian(&header, 2, 2);
    putLittleEndian(&header, SAMPLE_RATE, 4);
    putLittleEndian(&header, SAMPLE_RATE * 4, 4);
    putLittleEndian(&header, 4, 2);
    putLittleEndian(&header, 16, 2);
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    putLittleEndian(&header, dataBytes, 4);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *why = describeError("cannot write '" + path + "'");
        return false;
    }
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    // The device loops the buffer, so past its end the sound starts over.
    const uint32_t trackFrames = static_cast<uint32_t>(pcmTrack.frames);
    std::vector<unsigned char> chunk;
    for (uint32_t done = 0; ok && done < frames;) {
        uint32_t count = frames - done < 65536 ? frames - done : 65536;
        chunk.clear();
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t frame = (first + done + i) % trackFrames;
            for (int channel = 0; channel < 2; ++channel) {
                int16_t sample = pcmTrack.samples[frame * 2 + channel];
                putLittleEndian(&chunk, static_cast<uint16_t>(sample), 2);
            }
        }
        ok = std::fwrite(chunk.data(), 1, chunk.size(), file) == chunk.size();
        done += count;
    }
    if (std::fclose(file) != 0)
        ok = false;
    if (!ok)
        *why = describeError("cannot write '" + path + "'");
    return ok;
}
