// A linked moment: "?at=44.4&paused" at 192x108 shows, without a click and without sound, the frame that
// doz-capture renders at 44.4 s, on a WebGL 2 context, and stays there.
//
// ctest: web.PausedMomentMatchesCapture. The page reports a WebGL 2 renderer, needs no click, starts no
// sound, and matches `doz-capture --at 44.4 --size 192x108` by 8x8 block means (measured 14.0 of 255,
// limit 18; SwiftShader and llvmpipe place the hashed canister columns and the fractal's pixels
// differently, so single pixels may differ) more closely than the stills 2 s either side (16.0, 17.8) and
// from other acts (about 30); at half the CSS size and devicePixelRatio 2 it redraws the same 192x108;
// "?at=70&paused", with a credit sign, matches its still likewise (12.8).
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const h = require('./harness.js');

const WIDTH = 192, HEIGHT = 108;
// SwiftShader and llvmpipe round the march's float work differently: the hashed column speeds of the
// falling field and the fractal's pixels land elsewhere, so single pixels may differ completely while each
// 8x8 block keeps its mean colour. Measured (0..255 per channel): 14.0 against the still at 44.4 s, 16.0
// and 17.8 against the stills 2 s before and after (the camera has moved), about 30 against other acts.
// The limit leaves room for other Chromium and Mesa releases; the page must also be closer to its own
// moment than to any of the others. Both renderers are deterministic, so the figures do not vary by run.
const SAME_MOMENT_LIMIT = 18;
const OTHER_MOMENTS = [42.4, 46.4, 57, 70];

// The page's picture against doz-capture's still at `seconds` and, further off, the stills at `others`.
function compareWithStills(shot, seconds, others) {
    assert.equal(shot.width, WIDTH);
    assert.equal(shot.height, HEIGHT);
    assert.ok(h.isScene(shot), JSON.stringify(h.describePicture(shot)));
    const same = h.blockDifference(shot, h.captureStill(seconds, WIDTH, HEIGHT));
    assert.ok(same < SAME_MOMENT_LIMIT, `block difference ${same.toFixed(1)} against the still at ${seconds} s`);
    const figures = [`${seconds} s: ${same.toFixed(1)}`];
    for (const other of others) {
        const difference = h.blockDifference(shot, h.captureStill(other, WIDTH, HEIGHT));
        figures.push(`${other} s: ${difference.toFixed(1)}`);
        assert.ok(difference > same,
                  `the page is as close to ${other} s (${difference.toFixed(1)}) as to ${seconds} s (${same.toFixed(1)})`);
    }
    console.log(`block difference of the page against doz-capture's stills: ${figures.join(', ')}`);
}

test('a paused moment of the demo in the page matches the native still', async () => {
    const server = await h.serveDirectory(h.WEB_BUILD);
    const browser = await h.launchChromium();
    try {
        const page = await h.openPage(browser, WIDTH, HEIGHT);
        await h.recordAudioCalls(page);
        await page.goto(`${server.origin}/index.html?at=44.4&paused`);
        await h.waitForFirstFrame(page, 120000);

        const renderer = page.consoleLines.find((line) => line.includes('doz-engine: WebGL 2.0'));
        assert.ok(renderer, `no WebGL 2 report in the console:\n${page.consoleLines.join('\n')}`);
        assert.match(renderer, /renderer \S+/);

        const before = await h.pageState(page);
        assert.equal(before.title, 'doz-engine');
        assert.equal(before.message, '');
        assert.equal(before.notice, '', 'a paused moment needs no click');
        assert.ok(Math.abs(before.musicTime - 44.4) < 1e-4, `music time ${before.musicTime}`);
        const size = await page.evaluate(() => [Module.canvas.width, Module.canvas.height]);
        assert.deepEqual(size, [WIDTH, HEIGHT], 'drawing buffer = CSS size x devicePixelRatio');

        compareWithStills(await h.screenshot(page), 44.4, OTHER_MOMENTS);

        // Half the CSS size at devicePixelRatio 2: the same drawing buffer, redrawn to fit.
        await page.setViewport({width: WIDTH / 2, height: HEIGHT / 2, deviceScaleFactor: 2});
        await h.waitUntil('the canvas to follow', async () => {
            const [width, height] = await page.evaluate(() => [Module.canvas.width, Module.canvas.height]);
            return width === WIDTH && height === HEIGHT;
        }, 30000);
        await new Promise((resolve) => setTimeout(resolve, 500)); // the next animation frame draws
        compareWithStills(await h.screenshot(page), 44.4, []);

        // It stays paused: no sound starts, the clock does not move, even after a click.
        await new Promise((resolve) => setTimeout(resolve, 1500));
        await page.mouse.click(WIDTH / 2, HEIGHT / 2);
        await new Promise((resolve) => setTimeout(resolve, 500));
        const after = await h.pageState(page);
        assert.ok(Math.abs(after.musicTime - 44.4) < 1e-4, `music time moved to ${after.musicTime}`);
        assert.deepEqual(after.audioCalls, []);
        assert.equal(after.playing, false);
        assert.ok(!page.consoleLines.some((line) => line.startsWith('pageerror') || line.includes('WebGL:')),
                  `errors, or WebGL's own complaints:\n${page.consoleLines.join('\n')}`);

        // A moment on the road with a credit sign: the Canvas 2D text in the same texture layout.
        const sign = await h.openPage(browser, WIDTH, HEIGHT);
        await sign.goto(`${server.origin}/index.html?at=70&paused`);
        await h.waitForFirstFrame(sign, 120000);
        compareWithStills(await h.screenshot(sign), 70, [57, 80]);
    } finally {
        await browser.close();
        await server.close();
    }
});
