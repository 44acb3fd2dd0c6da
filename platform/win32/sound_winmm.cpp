// Windows sound: the whole track handed to the default wave output device once, as one buffer that the
// device loops by itself; the position is the device's own count of samples played.
#include "platform/sound_device.h"

#include <windows.h>

#include <mmsystem.h>

static HWAVEOUT waveOut = nullptr;
static WAVEHDR header;
// Author mode: after a seek, the rest of the track from the new place plays once before the looping header.
static WAVEHDR tailHeader;
static bool opened = false;
static bool held = false;
static bool headerPrepared = false;

bool openLoopingSound(const int16_t* samples, int32_t frames) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.nAvgBytesPerSec = 176400;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    if (frames <= 0 || waveOutOpen(&waveOut, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        waveOut = nullptr;
        return false;
    }

    // The device only reads the buffer; the header's field is not const.
    header.lpData = reinterpret_cast<LPSTR>(const_cast<int16_t*>(samples));
    header.dwBufferLength = static_cast<DWORD>(frames) * format.nBlockAlign;
    header.dwBytesRecorded = 0;
    header.dwUser = 0;
    header.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP; // the one buffer is the first and the last of the loop
    header.dwLoops = 0x7FFFFFFF;
    header.lpNext = nullptr;
    header.reserved = 0;
    if (waveOutPrepareHeader(waveOut, &header, sizeof header) != MMSYSERR_NOERROR)
        return false;
    headerPrepared = true;
    opened = waveOutWrite(waveOut, &header, sizeof header) == MMSYSERR_NOERROR;
    return opened;
}

void closeLoopingSound() {
    if (waveOut == nullptr)
        return;
    // Reset ends the loop and hands the buffer back; only a returned buffer can be unprepared.
    waveOutReset(waveOut);
    if (headerPrepared)
        waveOutUnprepareHeader(waveOut, &header, sizeof header);
    if ((tailHeader.dwFlags & WHDR_PREPARED) != 0)
        waveOutUnprepareHeader(waveOut, &tailHeader, sizeof tailHeader);
    headerPrepared = false;
    opened = false;
    waveOutClose(waveOut);
    waveOut = nullptr;
}

bool readSoundPosition(uint32_t* sampleFrames) {
    if (waveOut == nullptr)
        return false;
    MMTIME time = {};
    time.wType = TIME_SAMPLES;
    // A device may answer in another format than asked for; only samples are a position here.
    if (waveOutGetPosition(waveOut, &time, sizeof time) != MMSYSERR_NOERROR || time.wType != TIME_SAMPLES)
        return false;
    *sampleFrames = time.u.sample;
    return true;
}

// The device is reset (its position starts again from 0) and given the track again from `frame`.
void seekSound(int32_t frame) {
    if (!opened)
        return;
    DWORD frames = header.dwBufferLength / 4;
    if (frame < 0 || static_cast<DWORD>(frame) >= frames)
        return;
    waveOutReset(waveOut);
    if (held)
        waveOutPause(waveOut); // nothing may sound before the resume
    if ((tailHeader.dwFlags & WHDR_PREPARED) != 0)
        waveOutUnprepareHeader(waveOut, &tailHeader, sizeof tailHeader);
    if (frame > 0) {
        tailHeader = {};
        tailHeader.lpData = header.lpData + static_cast<size_t>(frame) * 4;
        tailHeader.dwBufferLength = (frames - static_cast<DWORD>(frame)) * 4;
        waveOutPrepareHeader(waveOut, &tailHeader, sizeof tailHeader);
        waveOutWrite(waveOut, &tailHeader, sizeof tailHeader);
    }
    waveOutWrite(waveOut, &header, sizeof header);
}

void pauseSound(bool paused) {
    if (!opened || paused == held)
        return;
    held = paused;
    if (paused)
        waveOutPause(waveOut);
    else
        waveOutRestart(waveOut);
}
