// Linux-native sound: an SDL audio device that plays the 16-bit track in an endless loop from its own
// callback, and a playback position counted from the frames the device has taken.
#include "platform/sound_device.h"

#include <SDL.h>

#include <cstring>

constexpr int DEVICE_BUFFER_FRAMES = 1024;
constexpr int BYTES_PER_FRAME = 4;

namespace {
// Written by the audio thread inside the callback, read by the main thread with the device locked.
struct LoopingSound {
    const int16_t* samples;
    int32_t frames;
    int32_t nextFrame;        // where the next callback goes on in the track
    uint64_t framesBefore;    // frames the device took before the latest callback
    uint64_t framesAfter;     // ... and including the latest callback
    uint64_t callbackCounter; // performance counter at the latest callback (or at the opening)
    bool paused;              // author mode: silence, and the position stands still
};
} // namespace

static SDL_AudioDeviceID device = 0;
static LoopingSound sound;

static void SDLCALL fillFromTrack(void*, Uint8* stream, int length) {
    const int wanted = length / BYTES_PER_FRAME;
    if (sound.paused) {
        std::memset(stream, 0, static_cast<size_t>(length));
        sound.framesBefore = sound.framesAfter;
        sound.callbackCounter = SDL_GetPerformanceCounter();
        return;
    }
    int done = 0;
    while (done < wanted) {
        int run = wanted - done;
        if (run > sound.frames - sound.nextFrame)
            run = sound.frames - sound.nextFrame;
        std::memcpy(stream + static_cast<size_t>(done) * BYTES_PER_FRAME,
                    sound.samples + static_cast<size_t>(sound.nextFrame) * 2,
                    static_cast<size_t>(run) * BYTES_PER_FRAME);
        done += run;
        sound.nextFrame += run;
        if (sound.nextFrame == sound.frames)
            sound.nextFrame = 0;
    }
    sound.framesBefore = sound.framesAfter;
    sound.framesAfter += static_cast<uint64_t>(wanted);
    sound.callbackCounter = SDL_GetPerformanceCounter();
}

// A device playing the track from `sound.nextFrame`, its position counted from 0.
static bool openDevice() {
    sound.framesBefore = sound.framesAfter = 0;
    sound.callbackCounter = SDL_GetPerformanceCounter();
    SDL_AudioSpec wanted = {};
    wanted.freq = 44100;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 2;
    wanted.samples = DEVICE_BUFFER_FRAMES;
    wanted.callback = fillFromTrack;
    // No changes allowed: SDL converts to whatever the hardware takes, and the callback counts our frames.
    SDL_AudioSpec obtained;
    device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0)
        return false;
    SDL_PauseAudioDevice(device, 0);
    return true;
}

bool openLoopingSound(const int16_t* samples, int32_t frames) {
    if (frames <= 0 || SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    sound = {samples, frames, 0, 0, 0, 0, false};
    return openDevice();
}

// The device takes a buffer per callback; between callbacks the position moves on in real time from the
// frames taken before the latest one, up to the frames it has been given so far, so that the clock is
// smooth at any frame rate and never runs ahead of the next callback. A device that stops calling back
// thus reports a position that stands still, which the music clock takes for a lost device.
bool readSoundPosition(uint32_t* sampleFrames) {
    if (device == 0 || SDL_GetAudioDeviceStatus(device) != SDL_AUDIO_PLAYING)
        return false;
    SDL_LockAudioDevice(device);
    uint64_t before = sound.framesBefore;
    uint64_t after = sound.framesAfter;
    uint64_t counter = sound.callbackCounter;
    SDL_UnlockAudioDevice(device);

    double seconds = static_cast<double>(SDL_GetPerformanceCounter() - counter) /
                     static_cast<double>(SDL_GetPerformanceFrequency());
    uint64_t position = before + static_cast<uint64_t>(seconds * 44100.0);
    if (position > after)
        position = after;
    *sampleFrames = static_cast<uint32_t>(position); // wraps like a 32-bit device counter
    return true;
}

// What a device was given already would play on for its whole latency after the seek: a new device drops
// it, and starts at the new place with a position counted from 0 again (the clock re-anchors on it).
void seekSound(int32_t frame) {
    if (device == 0 || frame < 0 || frame >= sound.frames)
        return;
    SDL_CloseAudioDevice(device); // returns once the callback has finished for good
    device = 0;
    sound.nextFrame = frame;
    openDevice();
}

// The device itself keeps running, so its position stays readable while held.
void pauseSound(bool paused) {
    if (device == 0)
        return;
    SDL_LockAudioDevice(device);
    sound.paused = paused;
    SDL_UnlockAudioDevice(device);
}

void closeLoopingSound() {
    if (device == 0)
        return;
    // Returns once the callback has finished for good.
    SDL_CloseAudioDevice(device);
    device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
