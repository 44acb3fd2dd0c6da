// The page as a player, in one session: Space pauses picture and sound together and the address names the
// moment, which opens on the same pixels; seeks while paused and playing restart the sound at the new
// offset; F, a double click and Escape in fullscreen; a hidden tab and an interrupted audio context hold
// the run and let it go on in step; the end at 124 s is scheduled in Web Audio, so nothing is heard after
// it even when no frame comes. Then a context that starts late: silent on the timer, then sound from where
// the timer stands, and a replay with sound. What is heard is measured by an analyser on every source's
// output, on the audio context's own clock.
//
// ctest: web.PagePlayerSession. Paused and playing seeks, Home; another tab in front holds the run silent
// past the clock's stall limit and it resumes in step; the same after the viewer paused stays paused; a
// suspended context that refuses to run for 1.5 s; then the animation frames held back near the end: the
// sound stops at 124 s by itself, and the next frame ends the run. The late context runs only after the
// 3 s fallback, and the replay after Escape is heard.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const h = require('./harness.js');

const WIDTH = 96, HEIGHT = 54;
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Before the page runs: every source's output also goes to an analyser, sampled every 20 ms with the
// context time of the newest sample, and the animation frames can be held back.
async function listenToTheSound(page) {
    await h.recordAudioCalls(page);
    await page.evaluateOnNewDocument(() => {
        window.dozHeard = [];
        const connect = AudioNode.prototype.connect;
        AudioNode.prototype.connect = function(target) {
            const context = this.context;
            if (target === context.destination && !(this instanceof AnalyserNode)) {
                if (!context.dozTap) {
                    context.dozTap = context.createAnalyser();
                    context.dozTap.fftSize = 1024;
                    const samples = new Float32Array(1024);
                    setInterval(() => {
                        context.dozTap.getFloatTimeDomainData(samples);
                        let peak = 0;
                        for (const value of samples)
                            peak = Math.max(peak, Math.abs(value));
                        window.dozHeard.push({time: context.currentTime, peak});
                    }, 20);
                }
                connect.call(this, context.dozTap);
            }
            return connect.apply(this, arguments);
        };
        const animationFrame = window.requestAnimationFrame.bind(window);
        window.dozHeldFrames = null;
        window.requestAnimationFrame = (callback) =>
            window.dozHeldFrames ? window.dozHeldFrames.push(callback) : animationFrame(callback);
    });
}

// The loudest sample heard between two context times (the analyser's window reaches 1024 frames back).
async function loudestHeard(page, from, to) {
    return page.evaluate((from, to) => window.dozHeard.filter((s) => s.time - 1024 / 44100 >= from && s.time <= to)
                                           .reduce((peak, s) => Math.max(peak, s.peak), 0),
                         from, to);
}

async function contextTime(page) {
    return page.evaluate(() => Module.dozSound.context.currentTime);
}

async function musicTime(page) {
    return page.evaluate(() => Module._dozReadMusicTime());
}

// Keys act at the next frame: waits until the held time is `expected`.
async function waitForHeldTime(page, expected, what) {
    try {
        await h.waitUntil(what, async () => Math.abs((await musicTime(page)) - expected) < 1e-4, 5000);
    } catch (error) {
        assert.fail(`${what}: ${await musicTime(page)} instead of ${expected}`);
    }
}

async function address(page) {
    return page.evaluate(() => location.search);
}

async function press(page, key, modifier) {
    if (modifier)
        await page.keyboard.down(modifier);
    await page.keyboard.press(key);
    if (modifier)
        await page.keyboard.up(modifier);
}

const starts = (state) => state.audioCalls.filter((call) => call.call === 'start');

// Waits for the next source start after `count` of them; returns it.
async function nextStart(page, count) {
    const state = await h.waitUntil(`source start ${count + 1}`, async () => {
        const now = await h.pageState(page);
        return starts(now).length > count ? now : null;
    }, 10000);
    return starts(state)[count];
}

// Music time against the context time of the sound playing now: the time heard is the source's offset
// plus the context time since its start, less the output latency; both moved on by the same context clock.
async function assertInStep(page, what) {
    // A new source is heard one output latency after its start: the music time stands until then.
    await pause(300);
    const first = await h.pageState(page);
    await pause(600);
    const second = await h.pageState(page);
    const music = second.musicTime - first.musicTime;
    const audio = second.audioTime - first.audioTime;
    assert.ok(Math.abs(music - audio) < 0.05, `${what}: music time moved ${music} s, the audio clock ${audio} s`);
    const source = starts(second).at(-1);
    const heard = source.offset + (second.audioTime - source.when);
    assert.ok(second.musicTime <= heard + 1e-3 && second.musicTime > heard - 0.25,
              `${what}: music time ${second.musicTime} against ${heard} s rendered of the source`);
    assert.equal(await page.evaluate(() => Module._dozMusicClockOnTicks()), 0, `${what}: the clock left the sound`);
}

// Pauses, checks that picture and sound stand, and returns the held time.
async function assertHeld(page, what) {
    // Keys act at the next frame; the lifecycle at once.
    await h.waitUntil(`${what}: the time to stand`, async () => {
        const time = await musicTime(page);
        await pause(150);
        return time === await musicTime(page);
    }, 5000);
    const held = await musicTime(page);
    const from = await contextTime(page) + 0.1;
    await pause(700);
    assert.equal(await musicTime(page), held, `${what}: the picture moved`);
    assert.equal(await loudestHeard(page, from, await contextTime(page)), 0, `${what}: sound while held`);
    return held;
}

test('the page as a player: keys, address, fullscreen, hidden tab, interrupted sound, the end', async () => {
    const server = await h.serveDirectory(h.WEB_BUILD);
    const browser = await h.launchChromium();
    try {
        const page = await h.openPage(browser, WIDTH, HEIGHT);
        await listenToTheSound(page);
        await page.goto(`${server.origin}/index.html?at=100`);
        await h.waitForFirstFrame(page, 120000);
        await page.mouse.click(WIDTH / 2, HEIGHT / 2);
        const first = await nextStart(page, 0);
        assert.ok(Math.abs(first.offset - 100) < 1e-3, `starts at the linked time, offset ${first.offset}`);
        assert.equal(first.loop, false, 'the source plays once');
        assert.ok(Math.abs(first.offset + first.duration - 124) < 1e-4,
                  `the end is scheduled at 124 s: offset ${first.offset} + ${first.duration} s`);
        await pause(500);
        assert.ok(await loudestHeard(page, first.when, await contextTime(page)) > 0.01, 'the soundtrack is heard');
        await assertInStep(page, 'after the click');

        // Space: picture and sound stand; the address names the moment on screen.
        await press(page, ' ');
        const pausedAt = await assertHeld(page, 'paused');
        assert.equal(await address(page), `?at=${Number(pausedAt.toFixed(5))}&paused`);
        assert.equal((await h.pageState(page)).audioCalls.at(-1).call, 'stop');

        // Seeks while paused stay paused and land where asked; the address follows.
        await press(page, 'ArrowRight', 'Shift');
        await press(page, 'ArrowRight');
        await waitForHeldTime(page, pausedAt + 1.1, 'paused seeks');
        const moved = await musicTime(page);
        assert.equal(await address(page), `?at=${Number(moved.toFixed(5))}&paused`);
        await pause(300);
        const shot = await h.screenshot(page);

        // The address opens on exactly that frame.
        const shared = await h.openPage(browser, WIDTH, HEIGHT);
        await shared.goto(`${server.origin}/index.html${await address(page)}`);
        await h.waitForFirstFrame(shared, 120000);
        assert.equal(await musicTime(shared), moved, 'the shared moment');
        const sharedShot = await h.screenshot(shared);
        assert.ok(h.isScene(shot));
        assert.ok(shot.data.equals(sharedShot.data), 'the shared address shows the same pixels');
        await shared.close();
        await page.bringToFront();

        // Home, a step back of 0.1 s, then Space: the sound starts at that offset, in step with the picture.
        await press(page, 'Home');
        await press(page, 'ArrowRight');
        await press(page, 'ArrowLeft', 'Shift');
        await waitForHeldTime(page, 0.9, 'Home, one second on and a tenth back');
        assert.equal(await address(page), '?at=0.9&paused');
        let count = starts(await h.pageState(page)).length;
        await press(page, ' ');
        const resumed = await nextStart(page, count++);
        assert.ok(Math.abs(resumed.offset - 0.9) < 1e-4, `resumed at ${resumed.offset}`);
        assert.equal(await address(page), '', 'playing, the address names no moment');
        await assertInStep(page, 'after the resume');

        // A seek while playing: the sound starts afresh one second on.
        const before = await musicTime(page);
        await press(page, 'ArrowRight');
        const seek = await nextStart(page, count++);
        assert.ok(seek.offset > before + 0.95 && seek.offset < before + 1.3, `seek to ${seek.offset} from ${before}`);
        await assertInStep(page, 'after a seek');

        // F and a double click toggle fullscreen; in fullscreen Escape only leaves it.
        const fullscreen = () => page.evaluate(() => !!document.fullscreenElement);
        await press(page, 'f');
        await h.waitUntil('fullscreen', fullscreen, 5000);
        await page.mouse.click(WIDTH / 2, HEIGHT / 2, {clickCount: 2});
        await h.waitUntil('fullscreen left', async () => !(await fullscreen()), 5000);
        await press(page, 'F');
        await h.waitUntil('fullscreen again', fullscreen, 5000);
        await press(page, 'Escape');
        await h.waitUntil('fullscreen left on Escape', async () => !(await fullscreen()), 5000);
        await pause(300);
        assert.equal((await h.pageState(page)).notice, '', 'the first Escape leaves fullscreen, the run goes on');
        assert.equal((await h.pageState(page)).playing, true);

        // Another tab in front: the run holds, silent, longer than the clock's stall limit; back, it goes on.
        const other = await browser.newPage();
        await other.bringToFront();
        await h.waitUntil('the page hidden', () => page.evaluate(() => document.hidden), 5000);
        const hidden = await assertHeld(page, 'hidden');
        await pause(800);
        await page.bringToFront();
        const back = await nextStart(page, count++);
        assert.ok(Math.abs(back.offset - hidden) < 1e-3, `back at ${back.offset}, hidden at ${hidden}`);
        await assertInStep(page, 'after the hidden tab');

        // Paused by the viewer, a hidden tab coming back leaves it paused.
        await press(page, ' ');
        const viewerPaused = await assertHeld(page, 'paused before hiding');
        await other.bringToFront();
        await pause(500);
        await page.bringToFront();
        await pause(500);
        assert.equal(await musicTime(page), viewerPaused);
        assert.equal(starts(await h.pageState(page)).length, count, 'no sound after the return');
        await press(page, ' ');
        await nextStart(page, count++);
        await other.close();

        // The system suspends the context and refuses to resume it for a while: the run holds, then goes on
        // in step when the context runs again.
        await page.evaluate(() => {
            const context = Module.dozSound.context;
            window.dozResume = context.resume.bind(context);
            context.resume = () => Promise.resolve();
            context.suspend();
        });
        await h.waitUntil('the suspension', async () => (await h.pageState(page)).audioState === 'suspended', 5000);
        const interrupted = await musicTime(page);
        await pause(1500);
        assert.equal(await musicTime(page), interrupted, 'held while the context is suspended');
        await page.evaluate(() => window.dozResume());
        const again = await nextStart(page, count++);
        assert.ok(Math.abs(again.offset - interrupted) < 1e-3, `on again at ${again.offset}, held at ${interrupted}`);
        await assertInStep(page, 'after the interruption');

        // Seeks pressed faster than frames come are all taken: paused, with every frame held back, a hundred
        // and more wait for one frame, which takes them all.
        await press(page, ' ');
        const seekFrom = await assertHeld(page, 'paused before the seeks');
        await page.evaluate(() => { window.dozHeldFrames = []; });
        await h.waitUntil('a frame held before the seeks', () => page.evaluate(() => window.dozHeldFrames.length > 0),
                          10000);
        const seeks = Math.ceil(120.5 - seekFrom);
        assert.ok(seeks > 100, `${seeks} seeks from ${seekFrom}`);
        for (let i = 0; i < seeks; ++i)
            await press(page, 'ArrowRight');
        await page.evaluate(() => {
            const held = window.dozHeldFrames;
            window.dozHeldFrames = null;
            held.forEach((callback) => window.requestAnimationFrame(callback));
        });
        await waitForHeldTime(page, seekFrom + seeks, `${seeks} seeks pressed within one frame`);
        await press(page, ' ');
        await nextStart(page, count++);

        // The end with no frames: close to it, hold every animation frame back.
        await page.evaluate(() => { window.dozHeldFrames = []; });
        // The frame asked for before runs; the one it asks for is held.
        await h.waitUntil('a held frame', () => page.evaluate(() => window.dozHeldFrames.length > 0), 10000);
        const last = starts(await h.pageState(page)).at(-1);
        assert.ok(Math.abs(last.offset + last.duration - 124) < 1e-4, 'each source ends at 124 s');
        const endAt = last.when + (124 - last.offset);
        await h.waitUntil('the music past its end', async () => (await contextTime(page)) > endAt + 1.5, 20000);
        assert.ok(await loudestHeard(page, endAt - 1, endAt - 0.05) > 0.01, 'heard before the end');
        assert.equal(await loudestHeard(page, endAt + 0.03, endAt + 1.5), 0, 'nothing heard after 124 s');
        assert.equal((await h.pageState(page)).notice, '', 'no frame has ended the run');
        await page.evaluate(() => {
            const held = window.dozHeldFrames;
            window.dozHeldFrames = null;
            held.forEach((callback) => window.requestAnimationFrame(callback));
        });
        const ended = await h.waitUntil('the end', async () => {
            const state = await h.pageState(page);
            return state.notice === 'click to play again' ? state : null;
        }, 10000);
        assert.ok(ended.musicTime > 124);
        assert.ok(!page.consoleLines.some((line) => line.startsWith('pageerror')), page.consoleLines.join('\n'));
    } finally {
        await browser.close();
        await server.close();
    }
});

test('a context that starts late: silent on the timer, then heard from where it stands, and a replay heard', async () => {
    const server = await h.serveDirectory(h.WEB_BUILD);
    const browser = await h.launchChromium();
    try {
        const page = await h.openPage(browser, WIDTH, HEIGHT);
        await listenToTheSound(page);
        // Every new context starts suspended and will not run until the test lets it.
        await page.evaluateOnNewDocument(() => {
            const Original = window.AudioContext;
            window.AudioContext = function(options) {
                const context = new Original(options);
                context.suspend();
                const resume = context.resume.bind(context);
                context.resume = () => (window.dozLetRun ? resume() : Promise.resolve());
                window.dozLetRun = false;
                window.dozRun = () => { window.dozLetRun = true; return resume(); };
                return context;
            };
            window.AudioContext.prototype = Original.prototype;
        });
        await page.goto(`${server.origin}/index.html?at=20`);
        await h.waitForFirstFrame(page, 120000);
        await page.mouse.click(WIDTH / 2, HEIGHT / 2);
        await h.waitUntil('the page timer', async () => (await musicTime(page)) > 20.5, 10000);
        assert.deepEqual((await h.pageState(page)).audioCalls, [], 'silent while the context waits');
        assert.ok(page.consoleLines.some((line) => line.includes('has not started')), page.consoleLines.join('\n'));

        await page.evaluate(() => window.dozRun());
        const late = await nextStart(page, 0);
        const now = await musicTime(page);
        assert.ok(late.offset > 20.5 && late.offset <= now + 1 / 44100, `the sound starts where the timer stands: ${late.offset}`);
        await pause(800);
        assert.ok(await loudestHeard(page, late.when, await contextTime(page)) > 0.01, 'heard once the context runs');
        await assertInStep(page, 'after the late start');

        await page.keyboard.press('Escape');
        await h.waitUntil('the end', async () => (await h.pageState(page)).notice === 'click to play again', 10000);
        await page.mouse.click(WIDTH / 2, HEIGHT / 2);
        const replay = await nextStart(page, 1);
        assert.equal(replay.offset, 0, 'the replay plays from the start');
        await pause(1000);
        const state = await h.pageState(page);
        assert.equal(state.notice, '', 'the replay goes on');
        assert.ok(state.musicTime > 0.3 && state.musicTime < 5, `music time ${state.musicTime}`);
        assert.ok(await loudestHeard(page, replay.when, state.audioTime) > 0.01, 'the replay is heard');
        await assertInStep(page, 'the replay');
    } finally {
        await browser.close();
        await server.close();
    }
});
