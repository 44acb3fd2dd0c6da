// Playing in the page: the click that starts the Web Audio source and the music clock, what reaches the
// audio output compared with the track, the frame-rate title,
// clicks and Escape through the input table, the end after 124 s with its last frame and the replay, and
// the page timer where there is no Web Audio. Time is compared on one clock: music time against the audio
// context's own (or the page's timer where the clock runs on it), never against how fast frames come.
//
// ctest: web.ClickStartsSoundClockAndTitle. The click starts one 44.1 kHz stereo source at the linked
// time, ending at 124 s, and heard where the clock says though the main thread stalled while making it;
// music time moves with the audio context's time; the title moves to the
// frame-rate form; clicks, Shift clicks and Escape go through the input table.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const h = require('./harness.js');

const WIDTH = 96, HEIGHT = 54;
const FRAME_RATE_TITLE = /^doz-engine \d+ fps frac (\d) \[reload 0\]$/; // the page's title folds the double spaces
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function withPage(address, prepare, body) {
    const server = await h.serveDirectory(h.WEB_BUILD);
    const browser = await h.launchChromium();
    try {
        const page = await h.openPage(browser, WIDTH, HEIGHT);
        await prepare(page);
        await page.goto(`${server.origin}/index.html${address}`);
        await h.waitForFirstFrame(page, 120000);
        await body(page);
        assert.ok(!page.consoleLines.some((line) => line.startsWith('pageerror')), page.consoleLines.join('\n'));
    } finally {
        await browser.close();
        await server.close();
    }
}

const click = (page, options) => page.mouse.click(WIDTH / 2, HEIGHT / 2, options);

// As a browser does before the user's first gesture: every new audio context starts suspended (headless
// Chromium lets them run at once).
async function suspendNewAudioContexts(page) {
    await h.recordAudioCalls(page);
    await h.tapAudioOutput(page);
    await page.evaluateOnNewDocument(() => {
        const Original = window.AudioContext;
        window.AudioContext = function(options) {
            const context = new Original(options);
            context.suspend();
            return context;
        };
        window.AudioContext.prototype = Original.prototype;
    });
}

// As a busy machine does: the main thread stalls 150 ms while the source is made, longer than the lead its
// start is scheduled with.
async function slowSourceConnect(page) {
    await page.evaluateOnNewDocument(() => {
        const connect = AudioNode.prototype.connect;
        AudioNode.prototype.connect = function(target) {
            if (this instanceof AudioBufferSourceNode && target instanceof AudioDestinationNode)
                for (const until = performance.now() + 150; performance.now() < until;)
                    ;
            return connect.apply(this, arguments);
        };
    });
}

test('a click starts the track and the clock; clicks, title and Escape follow', async () => {
    const prepare = async (page) => {
        await suspendNewAudioContexts(page);
        await slowSourceConnect(page);
    };
    await withPage('?at=10', prepare, async (page) => {
        const waiting = await h.pageState(page);
        assert.equal(waiting.notice, 'click to start');
        assert.equal(waiting.audioState, 'suspended');
        assert.equal(waiting.title, 'doz-engine');
        assert.ok(h.isScene(await h.screenshot(page)), 'the first frame stands behind the notice');
        await pause(1000);
        const stillWaiting = await h.pageState(page);
        assert.equal(stillWaiting.musicTime, 10, 'no clock before the click');
        assert.deepEqual(stillWaiting.audioCalls, []);

        await click(page);
        const started = await h.waitUntil('the sound to start', async () => {
            const state = await h.pageState(page);
            return state.audioCalls.length > 0 && state.playing ? state : null;
        }, 10000);
        assert.equal(started.notice, '');
        assert.equal(started.audioState, 'running', 'the sound starts once the context runs');
        const [start] = started.audioCalls;
        assert.equal(start.call, 'start');
        assert.equal(start.loop, false, 'the buffer plays once, to the end of the music');
        assert.ok(Math.abs(start.offset + start.duration - 124) < 1e-4, `ends at 124 s: ${start.duration} s`);
        assert.ok(Math.abs(start.offset - 10) < 1e-3, `starts at the linked time, offset ${start.offset}`);
        assert.equal(start.channels, 2);
        assert.equal(start.sampleRate, 44100);
        const trackFrames = await page.evaluate(() => Module._dozTrackFrames());
        assert.equal(start.frames, trackFrames);
        assert.ok(trackFrames > 149 * 44100 && trackFrames < 150 * 44100, `track frames ${trackFrames}`);
        assert.ok(start.peak > 0.05, 'the buffer holds the decoded soundtrack, not silence');

        // Music time advances, never back, at the rate of the audio context's clock. The two differ only by
        // how far the sound heard lags what is rendered, which may change a little between readings; a clock
        // at a wrong rate (48 kHz taken for 44.1 kHz) would be 0.25 s off after 3 s.
        // A source is started a little ahead of the context's time: the clock stands until it is heard.
        const first = await h.waitUntil('the music time to move', async () => {
            const state = await h.pageState(page);
            return state.musicTime > start.offset ? state : null;
        }, 5000);
        let last = first;
        while (last.audioTime - first.audioTime < 3) {
            await pause(150);
            const next = await h.pageState(page);
            assert.ok(next.musicTime >= last.musicTime, `music time went back from ${last.musicTime} to ${next.musicTime}`);
            last = next;
        }
        const music = last.musicTime - first.musicTime;
        const audio = last.audioTime - first.audioTime;
        assert.ok(Math.abs(music - audio) < 0.1, `music time moved ${music} s while the audio clock moved ${audio} s`);
        // Never ahead of the sound rendered since the start.
        assert.ok(last.musicTime > 10 && last.musicTime < 10 + last.audioTime - start.contextTime + 1e-3,
                  `music time ${last.musicTime} against ${last.audioTime - start.contextTime} s of sound`);

        // What reaches the output is the track where the page's sound says it plays, though the source took
        // 150 ms to make: its format and the buffer's peak would look the same with a silent or misplaced
        // stream.
        const heard = await h.matchHeardSound(page, 3);
        const said = `the output from ${heard.trackTime.toFixed(3)} s: ${JSON.stringify(heard)}`;
        console.log(said);
        assert.ok(heard.track_rms_db > -40, `the track is near silence there, which proves nothing; ${said}`);
        assert.ok(heard.correlation >= 0.98, `not the track; ${said}`);
        assert.ok(Math.abs(heard.lag_ms) <= 10, `not in step with the page's sound position; ${said}`);
        assert.ok(Math.abs(heard.level_db) <= 1, `not at the track's level; ${said}`);

        const titled = await h.waitUntil('the frame-rate title', async () => {
            const state = await h.pageState(page);
            return FRAME_RATE_TITLE.test(state.title) ? state : null;
        }, 10000);
        assert.equal(FRAME_RATE_TITLE.exec(titled.title)[1], '0');

        // A plain click moves frac; a Shift click does not.
        await click(page);
        await page.keyboard.down('Shift');
        await click(page);
        await page.keyboard.up('Shift');
        await h.waitUntil('frac 1 in the title', async () => {
            const {title} = await h.pageState(page);
            return FRAME_RATE_TITLE.test(title) && FRAME_RATE_TITLE.exec(title)[1] === '1';
        }, 10000);

        // Escape ends the run: the sound stops, the last frame stays, the clock stands.
        await page.keyboard.press('Escape');
        const ended = await h.waitUntil('the end', async () => {
            const state = await h.pageState(page);
            return state.notice === 'click to play again' ? state : null;
        }, 10000);
        assert.equal(ended.playing, false);
        assert.equal(ended.audioCalls[ended.audioCalls.length - 1].call, 'stop');
        assert.ok(h.isScene(await h.screenshot(page)), 'the last frame stays');
        await pause(500);
        assert.equal((await h.pageState(page)).musicTime, ended.musicTime);
    });
});

test('after 124 s the last frame stays, the sound stops, and a click plays it again', async () => {
    await withPage('?at=123', h.recordAudioCalls, async (page) => {
        await click(page);
        const ended = await h.waitUntil('the end', async () => {
            const state = await h.pageState(page);
            return state.notice === 'click to play again' ? state : null;
        }, 30000);
        assert.ok(ended.musicTime > 124, `ended at ${ended.musicTime}`);
        assert.deepEqual(ended.audioCalls.map((call) => call.call), ['start', 'stop']);
        assert.ok(h.isScene(await h.screenshot(page)), 'the last frame stays');
        await pause(500);
        assert.equal((await h.pageState(page)).musicTime, ended.musicTime, 'the clock stands after the end');

        await click(page);
        const again = await h.waitUntil('the replay', async () => {
            const state = await h.pageState(page);
            return state.playing && state.audioCalls.length === 3 ? state : null;
        }, 10000);
        assert.equal(again.notice, '');
        assert.equal(again.audioCalls[2].offset, 0, 'plays again from the start');
        assert.ok(again.musicTime < 5, `music time ${again.musicTime} after the replay`);
    });
});

test('without Web Audio the clock runs on the page timer', async () => {
    const noWebAudio = (page) => page.evaluateOnNewDocument(() => {
        delete window.AudioContext;
        delete window.webkitAudioContext;
    });
    await withPage('?at=20', noWebAudio, async (page) => {
        assert.equal((await h.pageState(page)).notice, 'click to start');
        await click(page);
        const first = await h.waitUntil('the clock to run', async () => {
            const state = await h.pageState(page);
            return state.playing ? state : null;
        }, 10000);
        await pause(1000);
        const second = await h.pageState(page);
        const music = second.musicTime - first.musicTime;
        const timer = (second.pageTime - first.pageTime) / 1000;
        assert.ok(Math.abs(music - timer) < 0.01, `music time moved ${music} s while the page timer moved ${timer} s`);
        assert.equal(first.audioTime, null, 'no audio context');
        assert.ok(first.musicTime >= 20);
    });
});
