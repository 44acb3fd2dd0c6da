// Windows sound: the whole track handed to the default wave output device once, as one buffer that the
// device loops by itself; the position is the device's own count of samples played.
#include "platform/sound_device.h"

#include <windows.h>

#include <mmsystem.h>

static HWAVEOUT waveOut = nullptr;
static WAVEHDR header;
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
    return waveOutWrite(waveOut, &header, sizeof header) == MMSYSERR_NOERROR;
}

void closeLoopingSound() {
    if (waveOut == nullptr)
        return;
    // Reset ends the loop and hands the buffer back; only a returned buffer can be unprepared.
    waveOutReset(waveOut);
    if (headerPrepared)
        waveOutUnprepareHeader(waveOut, &header, sizeof header);
    headerPrepared = false;
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
