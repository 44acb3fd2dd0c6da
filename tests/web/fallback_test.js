// What a page shows when something is wrong: a bad address still gives a picture (and says why in the
// console); a browser without WebGL 2, a module that does not arrive (also the page opened from disk, which
// says how to serve it), or a context taken away gives a plain message instead of a blank.
// ctest: web.BadAddressNoWebGl2LostContext.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const h = require('./harness.js');

const WIDTH = 96, HEIGHT = 54;

// Address, the music time it must show, and what the console must say.
const BAD_ADDRESSES = [
    ['?at=abc&paused', 0, /at=abc is not a time/],
    ['?at=&paused', 0, /at= is not a time/],
    ['?at=12x&paused', 0, /at=12x is not a time/],
    ['?at=-5&paused', 0, /at=-5 is outside 0 to 124 s; starting at 0/],
    ['?at=1e9&paused', 124, /at=1e9 is outside 0 to 124 s; starting at 124/],
    ['?at=NaN&paused', 0, /at=NaN is not a time/],
    ['?at=%37%30&paused&zoom=3', 70, null],
];

test('bad address parameters still show a picture', async () => {
    const server = await h.serveDirectory(h.WEB_BUILD);
    const browser = await h.launchChromium();
    try {
        for (const [address, musicTime, warning] of BAD_ADDRESSES) {
            const page = await h.openPage(browser, WIDTH, HEIGHT);
            await page.goto(`${server.origin}/index.html${address}`);
            await h.waitForFirstFrame(page, 120000);
            const state = await h.pageState(page);
            assert.equal(state.message, '', address);
            assert.ok(Math.abs(state.musicTime - musicTime) < 1e-4, `${address}: music time ${state.musicTime}`);
            const shot = await h.screenshot(page);
            assert.ok(h.isScene(shot), `${address}: ${JSON.stringify(h.describePicture(shot))}`);
            const warnings = page.consoleLines.filter((line) => line.startsWith('warn') && line.includes('doz-engine: at='));
            if (warning)
                assert.ok(warnings.some((line) => warning.test(line)), `${address}: ${page.consoleLines.join('\n')}`);
            else
                assert.deepEqual(warnings, [], address);
            await page.close();
        }
    } finally {
        await browser.close();
        await server.close();
    }
});

test('no WebGL 2, a module that does not load, or a lost context: a message in the page', async () => {
    const server = await h.serveDirectory(h.WEB_BUILD);
    const browser = await h.launchChromium();
    try {
        const withoutWebGl2 = await h.openPage(browser, WIDTH, HEIGHT);
        await withoutWebGl2.evaluateOnNewDocument(() => {
            const getContext = HTMLCanvasElement.prototype.getContext;
            HTMLCanvasElement.prototype.getContext = function(kind, ...rest) {
                return kind === 'webgl2' ? null : getContext.call(this, kind, ...rest);
            };
        });
        await withoutWebGl2.goto(`${server.origin}/index.html`);
        const refused = await h.waitUntil('the message', async () => {
            const text = await withoutWebGl2.evaluate(() => {
                const box = document.getElementById('message');
                return box.style.display === 'block' ? box.textContent : '';
            });
            return text || null;
        }, 60000);
        assert.match(refused, /doz-engine needs WebGL 2/);
        assert.equal(await withoutWebGl2.evaluate(() => getComputedStyle(Module.canvas).display), 'none');

        // The module itself does not arrive.
        const withoutModule = await h.openPage(browser, WIDTH, HEIGHT);
        await withoutModule.setRequestInterception(true);
        withoutModule.on('request', (request) =>
            request.url().endsWith('.wasm') ? request.respond({status: 404, body: ''}) : request.continue());
        await withoutModule.goto(`${server.origin}/index.html`);
        const failed = await h.waitUntil('the message', async () => {
            const text = await withoutModule.evaluate(() => {
                const box = document.getElementById('message');
                return box.style.display === 'block' ? box.textContent : '';
            });
            return text || null;
        }, 60000);
        assert.match(failed, /^doz-engine could not start: /);

        // Opened from disk, the browser refuses the module's file to the page: the page says what to do.
        const fromDisk = await h.openPage(browser, WIDTH, HEIGHT);
        await fromDisk.goto(`file://${h.WEB_BUILD}/index.html`);
        const fromDiskText = await h.waitUntil('the message', async () => {
            const text = await fromDisk.evaluate(() => {
                const box = document.getElementById('message');
                return box.style.display === 'block' ? box.textContent : '';
            });
            return text || null;
        }, 60000);
        assert.match(fromDiskText, /opened as a file/);
        assert.match(fromDiskText, /tools\/serve-web\.sh/);
        assert.match(fromDiskText, /single-file page of a release/);
        assert.equal(await fromDisk.evaluate(() => getComputedStyle(document.getElementById('canvas')).display), 'none');

        const losing = await h.openPage(browser, WIDTH, HEIGHT);
        await losing.goto(`${server.origin}/index.html?at=30`);
        await h.waitForFirstFrame(losing, 120000);
        await losing.mouse.click(WIDTH / 2, HEIGHT / 2);
        await losing.evaluate(() => GL.currentContext.GLctx.getExtension('WEBGL_lose_context').loseContext());
        const lost = await h.waitUntil('the message', async () => {
            const state = await h.pageState(losing);
            return state.message ? state : null;
        }, 10000);
        assert.match(lost.message, /lost its WebGL context/);
        assert.equal(lost.playing, false, 'the sound stops with the picture');
    } finally {
        await browser.close();
        await server.close();
    }
});
