// A whole run in the page: at every frame, the music time that the frame drew against the time of the
// sound heard then, both on the audio context's clock (the output timestamp the position was read from, and
// the source's start), so that a slow machine moves both alike. They stay within 20 ms over the 124 s and
// at the end; the small backward steps of the output-position estimate must not add up. The test counts
// those steps.
//
// ctest: web.WholeRunClockFollowsSound (about 2.5 min). Output timestamps are made to jitter by up to 4 ms,
// as a real device's do. Measured: 7.4 ms at most over 1,899 frames, with 847 steps back of the estimate
// absorbed; without that, the same run ended 2.3 s ahead of its sound.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const h = require('./harness.js');

const WIDTH = 64, HEIGHT = 36;
const LIMIT = 0.020;

test('over a whole run the music time follows the sound heard within 20 ms', async () => {
    const server = await h.serveDirectory(h.WEB_BUILD);
    const browser = await h.launchChromium();
    try {
        const page = await h.openPage(browser, WIDTH, HEIGHT);
        await page.evaluateOnNewDocument(() => {
            // Output timestamps as a real device gives them: the page time of each is off by up to 4 ms
            // either way (headless Chromium's are nearly exact), so that the estimate steps back now and then.
            const outputTimestamp = AudioContext.prototype.getOutputTimestamp;
            let seed = 12345;
            AudioContext.prototype.getOutputTimestamp = function() {
                const stamp = outputTimestamp.call(this);
                seed = (seed * 1103515245 + 12345) % 2147483648;
                return {contextTime: stamp.contextTime, performanceTime: stamp.performanceTime + (seed / 2147483648 - 0.5) * 8};
            };
            window.dozFrames = [];
            const animationFrame = window.requestAnimationFrame.bind(window);
            window.requestAnimationFrame = (callback) => animationFrame((time) => {
                const sound = window.Module && Module.dozSound;
                const playing = sound && sound.playing && !sound.onTimer ? [sound.startFrame, sound.startTime] : null;
                if (sound && !sound.dozWatched) {
                    // The frame that ends the run stops the sound, which reads the position once more.
                    const halt = sound.halt;
                    sound.halt = () => { sound.dozHeardAtHalt = sound.heardTime; halt(); };
                    // Steps back of the estimate between two readings of the same source.
                    const position = sound.position;
                    let last = null;
                    window.dozStepsBack = 0;
                    sound.position = () => {
                        const frames = position();
                        const now = [sound.startTime, sound.heardTime];
                        if (sound.playing && last && last[0] === now[0] && now[1] < last[1] - 0.0005)
                            ++window.dozStepsBack;
                        last = sound.playing ? now : null;
                        return frames;
                    };
                    sound.dozWatched = true;
                }
                if (sound)
                    sound.dozHeardAtHalt = null;
                callback(time);
                if (playing && sound.heardTime > 0) {
                    const heardTime = sound.dozHeardAtHalt !== null ? sound.dozHeardAtHalt : sound.heardTime;
                    const heard = playing[0] / 44100 + Math.max(0, heardTime - playing[1]);
                    window.dozFrames.push([Module._dozLastMusicTime(), heard]);
                }
            });
        });
        await page.goto(`${server.origin}/index.html`);
        await h.waitForFirstFrame(page, 120000);
        await page.mouse.click(WIDTH / 2, HEIGHT / 2);
        await h.waitUntil('the end of the run', async () => (await h.pageState(page)).notice === 'click to play again',
                          200000);
        const frames = await page.evaluate(() => window.dozFrames);
        const stepsBack = await page.evaluate(() => window.dozStepsBack);
        assert.ok(stepsBack > 10, `the estimate stepped back only ${stepsBack} times by more than 0.5 ms`);
        assert.ok(frames.length > 124 * 5, `${frames.length} frames`);
        let worst = 0, worstAt = 0;
        for (const [music, heard] of frames) {
            if (Math.abs(music - heard) > Math.abs(worst)) {
                worst = music - heard;
                worstAt = heard;
            }
        }
        const [endMusic, endHeard] = frames.at(-1);
        console.log(`${frames.length} frames, ${stepsBack} steps back of the estimate; largest difference ${(worst * 1000).toFixed(2)} ms at ${worstAt.toFixed(2)} s; ` +
                    `at the end ${((endMusic - endHeard) * 1000).toFixed(2)} ms (music ${endMusic.toFixed(3)} s)`);
        assert.ok(endMusic > 124, `the last frame drew ${endMusic} s`);
        assert.ok(Math.abs(worst) < LIMIT, `music time ${(worst * 1000).toFixed(1)} ms off the sound at ${worstAt} s`);
        assert.ok(Math.abs(endMusic - endHeard) < LIMIT, `at the end ${endMusic} against ${endHeard}`);
        assert.ok(!page.consoleLines.some((line) => line.startsWith('pageerror')), page.consoleLines.join('\n'));
    } finally {
        await browser.close();
        await server.close();
    }
});
