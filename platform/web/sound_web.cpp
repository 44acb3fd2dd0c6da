// Sound in the browser: Web Audio plays the 16-bit track in an endless loop from one buffer, and the
// position is read from the audio context's output timestamp, the time of what is being heard. Without
// Web Audio the position runs on the page's timer, silently.
#include "platform/sound_device.h"
#include "platform/web/web_page.h"

#include <emscripten/emscripten.h>

EM_JS(void, prepareLoopingSoundJs, (const int16_t* samples, int32_t frames), {
    var sound = Module.dozSound;
    if (!sound) {
        sound = Module.dozSound = {
            context : null,
            buffer : null,
            source : null,
            startFrame : 0,
            playing : false,
            startTime : 0,
            timerStart : 0,
            timerOnly : false
        };
        // Sample frames since the start of the track: still at the start frame until the sound plays.
        Module.dozSoundPosition = function() {
            if (!sound.playing)
                return sound.startFrame;
            if (sound.timerOnly || !sound.source)
                return sound.startFrame + (performance.now() - sound.timerStart) * 44.1;
            var context = sound.context;
            var now = context.currentTime;
            // What is heard now: the output timestamp moved on by the page time since it was taken, but never
            // beyond what the context has rendered.
            if (context.getOutputTimestamp) {
                var stamp = context.getOutputTimestamp();
                if (stamp.contextTime > 0 && stamp.performanceTime > 0)
                    now =
                        Math.min(now, stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000);
            }
            return sound.startFrame + Math.max(0, now - sound.startTime) * 44100;
        };
        var AudioContextClass = window.AudioContext || window.webkitAudioContext;
        if (AudioContextClass) {
            try {
                sound.context = new AudioContextClass({latencyHint : 'playback'});
            } catch (e) {
                console.warn('doz-engine: no Web Audio (' + e + '); the music clock runs on the page timer');
            }
        }
    }
    if (sound.source) {
        sound.source.onended = null;
        sound.source.stop();
        sound.source = null;
    }
    sound.playing = false;
    if (sound.context && !sound.buffer) {
        // Web Audio buffers hold floats: the 16-bit samples scaled back to [-1, 1).
        var buffer = sound.context.createBuffer(2, frames, 44100);
        var left = buffer.getChannelData(0), right = buffer.getChannelData(1);
        var pcm = HEAP16.subarray(samples >> 1, (samples >> 1) + frames * 2);
        for (var i = 0; i < frames; ++i) {
            left[i] = pcm[2 * i] / 32768;
            right[i] = pcm[2 * i + 1] / 32768;
        }
        sound.buffer = buffer;
    }
});

EM_JS(void, setSoundStartFrameJs, (double frame), { Module.dozSound.startFrame = frame; });

EM_JS(void, playSoundJs, (), {
    var sound = Module.dozSound;
    var startOnTimer = function() {
        sound.timerOnly = true;
        sound.timerStart = performance.now();
        sound.playing = true;
    };
    if (!sound.context || !sound.buffer) {
        startOnTimer();
        return;
    }
    var startSource = function() {
        var source = sound.context.createBufferSource();
        source.buffer = sound.buffer;
        source.loop = true;
        source.connect(sound.context.destination);
        source.start(0, (sound.startFrame % sound.buffer.length) / 44100);
        sound.source = source;
        sound.startTime = sound.context.currentTime;
        sound.playing = true;
    };
    if (sound.context.state == 'running') {
        startSource();
        return;
    }
    // The clock waits for the running context; one that never runs leaves the page timer to time the demo.
    var settled = false;
    sound.context.resume().then(
        function() {
            if (!settled) {
                settled = true;
                startSource();
            }
        },
        function(e) {
            console.warn('doz-engine: the audio context did not start (' + e +
                         '); silent, on the page timer');
            settled = true;
            startOnTimer();
        });
    setTimeout(
        function() {
            if (!settled) {
                settled = true;
                console.warn('doz-engine: the audio context did not start; silent, on the page timer');
                startOnTimer();
            }
        },
        3000);
});

EM_JS(void, stopSoundJs, (), {
    var sound = Module.dozSound;
    if (!sound)
        return;
    sound.startFrame = Module.dozSoundPosition();
    if (sound.source) {
        sound.source.stop();
        sound.source = null;
    }
    sound.playing = false;
});

EM_JS(double, soundPositionJs, (), { return Module.dozSoundPosition(); });

bool openLoopingSound(const int16_t* samples, int32_t frames) {
    if (frames <= 0)
        return false;
    prepareLoopingSoundJs(samples, frames);
    return true;
}

bool readSoundPosition(uint32_t* sampleFrames) {
    double position = soundPositionJs();
    *sampleFrames = static_cast<uint32_t>(static_cast<uint64_t>(position)); // wraps like a device counter
    return true;
}

void setSoundStartFrame(uint32_t frame) {
    setSoundStartFrameJs(frame);
}

void playSoundAfterGesture() {
    playSoundJs();
}

void stopSound() {
    stopSoundJs();
}

// The page has no transport keys: a moment is chosen with the address, before the sound starts.
void seekSound(int32_t) {}
void pauseSound(bool) {}

// The page's sound ends with the page; the end of the music stops it through the page's own rules.
void closeLoopingSound() {}
