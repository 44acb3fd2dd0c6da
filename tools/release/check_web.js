// The single-file page as a party checks a browser entry: opened from file:// in headless Chromium,
// "?at=70&paused" draws the frame with a credit sign (doz-capture's still at 70 s, by 8x8 block means, as
// the browser tests compare), and without parameters a click starts the sound.
//     node check_web.js PAGE.html        (DOZ_CAPTURE names the doz-capture to render the still)
// Prints one "CHECK PASSED/FAILED: ..." line; exits 1 on a failure.
'use strict';
const path = require('path');
const {pathToFileURL} = require('url');
const h = require(path.join(__dirname, '..', '..', 'tests', 'web', 'harness.js'));

const WIDTH = 192, HEIGHT = 108;
const SAME_MOMENT_LIMIT = 18; // as web.PausedMomentMatchesCapture: SwiftShader against llvmpipe

async function check(file) {
    const address = pathToFileURL(path.resolve(file)).href;
    const browser = await h.launchChromium();
    try {
        const moment = await h.openPage(browser, WIDTH, HEIGHT);
        await moment.goto(`${address}?at=70&paused`);
        await h.waitForFirstFrame(moment, 120000);
        const paused = await h.pageState(moment);
        if (paused.message)
            throw new Error(`the page says: ${paused.message}`);
        const shot = await h.screenshot(moment);
        if (!h.isScene(shot))
            throw new Error(`no scene on the page: ${JSON.stringify(h.describePicture(shot))}`);
        const same = h.blockDifference(shot, h.captureStill(70, WIDTH, HEIGHT));
        const before = h.blockDifference(shot, h.captureStill(57, WIDTH, HEIGHT));
        if (!(same < SAME_MOMENT_LIMIT && same < before))
            throw new Error(`?at=70&paused differs by ${same.toFixed(1)} from the still at 70 s ` +
                            `(limit ${SAME_MOMENT_LIMIT}) and by ${before.toFixed(1)} from the one at 57 s`);

        const page = await h.openPage(browser, WIDTH, HEIGHT);
        await h.recordAudioCalls(page);
        await page.goto(address);
        await h.waitForFirstFrame(page, 120000);
        const waiting = await h.pageState(page);
        if (waiting.playing || waiting.audioCalls.length)
            throw new Error('sound started before a click');
        await page.mouse.click(WIDTH / 2, HEIGHT / 2);
        const playing = await h.waitUntil('the sound to start after a click', async () => {
            const state = await h.pageState(page);
            return state.playing && state.audioCalls.some((call) => call.call === 'start') ? state : null;
        }, 60000);
        const errors = page.consoleLines.concat(moment.consoleLines).filter((line) => line.startsWith('pageerror'));
        if (errors.length)
            throw new Error(`page errors: ${errors.join('; ')}`);
        return `from file://: ?at=70&paused matches the still (${same.toFixed(1)}; 57 s: ${before.toFixed(1)}); ` +
               `a click started the sound (${playing.audioCalls[0].sampleRate} Hz, context ${playing.audioState})`;
    } finally {
        await browser.close();
    }
}

check(process.argv[2]).then((detail) => {
    console.log(`CHECK PASSED: web page: ${detail}`);
}, (error) => {
    console.log(`CHECK FAILED: web page: ${error.message}`);
    process.exitCode = 1;
});
