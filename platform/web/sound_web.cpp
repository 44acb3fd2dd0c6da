// Sound in the browser: Web Audio plays the 16-bit track from one buffer, one source node per stretch of
// playing, each started at its offset and told by the audio graph itself to stop at the end of the music,
// so nothing is heard past it whether or not the page still draws frames. The position is read from the
// audio context's output timestamp, the time of what is being heard. Without a running context the
// position runs on the page's timer, silently, until the context runs; then the sound starts where the
// timer stands.
#include "platform/sound_device.h"
#include "platform/web/web_page.h"

#include <emscripten/emscripten.h>

EM_JS(void, prepareSoundJs, (const int16_t* samples, int32_t frames), {
    var sound = Module.dozSound;
    if (!sound) {
        sound = Module.dozSound = {
            context : null,
            buffer : null,
            source : null,
            startFrame : 0,  // track frame heard at startTime, and where the position stands while stopped
            startTime : 0,   // context time (or page timer seconds on the timer) of startFrame
            endFrame : 0,    // nothing is played from here on
            playing : false, // the position moves
            onTimer : false, // ... on the page timer
            wanted : false,  // asked to play: not stopped, not paused
            interrupted : false, // the context stopped under a playing sound; the page was told
            lastPosition : 0,
            heardTime : 0, // the estimate behind the latest position: context time (or timer seconds) heard
            fallback : null
        };
        var AudioContextClass = window.AudioContext || window.webkitAudioContext;
        if (AudioContextClass) {
            try {
                sound.context = new AudioContextClass({latencyHint : 'playback'});
            } catch (e) {
                console.warn('doz-engine: no Web Audio (' + e + '); the music clock runs on the page timer');
            }
        }
        // The context heard now: the output timestamp moved on by the page time since it was taken, but
        // never beyond what the context has rendered.
        var outputTime = function() {
            var context = sound.context;
            var now = context.currentTime;
            if (context.getOutputTimestamp) {
                var stamp = context.getOutputTimestamp();
                if (stamp.contextTime > 0 && stamp.performanceTime > 0)
                    now =
                        Math.min(now, stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000);
            }
            return now;
        };
        // Sample frames of the track heard now. The estimate steps back a little now and then (a new output
        // timestamp behind the extrapolation of the last one): the position holds until it catches up, so
        // those steps never add up.
        sound.position = function() {
            if (!sound.playing)
                return sound.startFrame;
            sound.heardTime = sound.onTimer ? performance.now() / 1000 : outputTime();
            var elapsed = sound.heardTime - sound.startTime;
            var position = sound.startFrame + Math.max(0, elapsed) * 44100;
            if (position < sound.lastPosition)
                position = sound.lastPosition;
            return sound.lastPosition = position;
        };
        sound.stopSource = function() {
            if (sound.source) {
                sound.source.stop();
                sound.source.disconnect();
                sound.source = null;
            }
        };
        sound.startOnTimer = function() {
            sound.stopSource();
            sound.onTimer = true;
            sound.startTime = performance.now() / 1000;
            sound.lastPosition = sound.startFrame;
            sound.playing = true;
        };
        // Plays from startFrame as soon as can be, up to endFrame; past it the position still runs on the
        // context's clock so that the page sees the music end. A start at currentTime is often in the past by
        // the time the audio thread takes it (the context renders ahead in callbacks of 1,024 frames or
        // more), and a late start plays from the offset at once, behind the clock: so it is scheduled a
        // little ahead, where the position stands until it comes. The time is read last, just before the
        // start: on a busy main thread, making and connecting the source can take longer than that lead.
        sound.startSource = function() {
            sound.stopSource();
            var context = sound.context;
            var frames = Math.min(sound.endFrame, sound.buffer.length) - sound.startFrame;
            var source = null;
            if (frames > 0) {
                source = context.createBufferSource();
                source.buffer = sound.buffer;
                source.connect(context.destination);
            }
            sound.onTimer = false;
            sound.startTime = context.currentTime + Math.max(0.05, 2 * (context.baseLatency || 0));
            sound.lastPosition = sound.startFrame;
            sound.playing = true;
            if (source) {
                source.start(sound.startTime, sound.startFrame / 44100, frames / 44100);
                sound.source = source;
            }
        };
        // A sound asked to play that waits for its context: the position stands, and after 3 s the page timer
        // times the demo silently, until the context runs.
        sound.play = function() {
            sound.wanted = true;
            if (!sound.context || !sound.buffer) {
                sound.startOnTimer();
                return;
            }
            if (sound.context.state == 'running') {
                sound.startSource();
                return;
            }
            sound.stopSource();
            sound.playing = false;
            sound.context.resume().catch(
                function(e) { console.warn('doz-engine: the audio context did not start (' + e + ')'); });
            clearTimeout(sound.fallback);
            sound.fallback = setTimeout(
                function() {
                    if (sound.wanted && !sound.playing) {
                        console.warn(
                            'doz-engine: the audio context has not started; silent, on the page timer until ' +
                            'it does');
                        sound.startOnTimer();
                    }
                },
                3000);
        };
        // Where the sound stands now and no longer plays (stopped or paused).
        sound.halt = function() {
            sound.startFrame = Math.floor(sound.position());
            sound.stopSource();
            sound.playing = false;
            sound.wanted = false;
            clearTimeout(sound.fallback);
        };
        // Asks an interrupted context to run again; from a user's gesture this succeeds where a browser
        // refused.
        sound.wake = function() {
            if (sound.interrupted && sound.context && sound.context.state != 'running' &&
                sound.context.state != 'closed')
                sound.context.resume().catch(function(){});
        };
        if (sound.context) {
            sound.context.addEventListener(
                'statechange', function() {
                    var running = sound.context.state == 'running';
                    if (running && sound.interrupted) {
                        sound.interrupted = false;
                        Module._dozSoundInterrupted(0);
                    } else if (running && sound.wanted && (!sound.playing || sound.onTimer)) {
                        // Late: from where the timer stands, so that the picture does not jump.
                        sound.startFrame = Math.floor(sound.position());
                        sound.startSource();
                    } else if (!running && sound.wanted && sound.playing && !sound.onTimer &&
                               !sound.interrupted) {
                        // The system took the context away from a playing sound: the page holds the run and
                        // the context is asked to run again.
                        sound.interrupted = true;
                        Module._dozSoundInterrupted(1);
                        sound.wake();
                    }
                });
        }
    }
    sound.stopSource();
    sound.playing = false;
    sound.wanted = false;
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
EM_JS(void, setSoundEndFrameJs, (double frame), { Module.dozSound.endFrame = frame; });
// A sound that the transport has already let play (it moved it to the start) is not started twice.
EM_JS(void, playSoundJs, (), {
    if (!Module.dozSound.wanted)
        Module.dozSound.play();
});
EM_JS(void, haltSoundJs, (), {
    if (Module.dozSound)
        Module.dozSound.halt();
});
EM_JS(double, soundPositionJs, (), { return Module.dozSound.position(); });
EM_JS(void, wakeSoundJs, (), {
    if (Module.dozSound)
        Module.dozSound.wake();
});

// Moves a sound: a playing one starts afresh at the frame (on its context or its timer); a stopped one
// stands there; one waiting for its context starts there.
EM_JS(void, seekSoundJs, (double frame), {
    var sound = Module.dozSound;
    sound.startFrame = frame;
    sound.lastPosition = frame;
    if (!sound.playing)
        return;
    if (sound.onTimer)
        sound.startOnTimer();
    else
        sound.startSource();
});

EM_JS(void, resumeSoundJs, (), {
    var sound = Module.dozSound;
    if (!sound.wanted)
        sound.play();
});

bool openLoopingSound(const int16_t* samples, int32_t frames) {
    if (frames <= 0)
        return false;
    prepareSoundJs(samples, frames);
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

void setSoundEndFrame(uint32_t frame) {
    setSoundEndFrameJs(frame);
}

void playSoundAfterGesture() {
    playSoundJs();
}

void stopSound() {
    haltSoundJs();
}

void wakeSound() {
    wakeSoundJs();
}

void seekSound(int32_t frame) {
    seekSoundJs(frame);
}

// Paused, the position stands where the sound stopped; resumed, a new source plays from there.
void pauseSound(bool paused) {
    if (paused)
        haltSoundJs();
    else
        resumeSoundJs();
}

// The page's sound ends with the page; the end of the music stops it through the page's own rules.
void closeLoopingSound() {}
