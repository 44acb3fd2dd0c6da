// The browser build's figures, from one run of headless Chromium (SwiftShader) at 192x108: the sizes of
// the module and its loader, load to first frame, and the soundtrack's decode inside the page against the
// native decode (build/linux/bench/doz-decode-bench). Also saves a still of "?at=70&paused" at 640x360.
// Usage: node bench/web_bench.js [RUNS]   (needs build/web, build/linux and tests/web's packages)
'use strict';
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');
const {execFileSync} = require('child_process');
const h = require('../tests/web/harness.js');

const RUNS = Math.max(1, Number(process.argv[2]) || 5);
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

(async () => {
    for (const name of ['doz-engine.wasm', 'doz-engine.js', 'index.html']) {
        const bytes = fs.readFileSync(path.join(h.WEB_BUILD, name));
        console.log(`${name.padEnd(16)} ${String(bytes.length).padStart(9)} bytes, gzip ${zlib.gzipSync(bytes, {level: 9}).length}`);
    }
    const mp3 = fs.statSync(path.join(h.ROOT, 'resources', 'soundtrack.mp3')).size;
    const wasm = fs.statSync(path.join(h.WEB_BUILD, 'doz-engine.wasm')).size;
    console.log(`  of the module, the soundtrack is ${mp3} bytes and the rest ${wasm - mp3}`);
    const native = path.join(h.ROOT, 'build', 'linux', 'bench', 'doz-decode-bench');
    const nativeDecode = () => Number(/: ([\d.]+) ms/.exec(execFileSync(native, ['1'], {encoding: 'utf8'}))[1]);
    const server = await h.serveDirectory(h.WEB_BUILD);
    const browser = await h.launchChromium();
    try {
        // Page and native decodes take turns, so that load from other work on the machine falls on both.
        const firstFrames = [], inPage = [], natives = [], ratios = [];
        for (let run = 0; run < RUNS; ++run) {
            const page = await h.openPage(browser, 192, 108);
            await page.goto(`${server.origin}/index.html`);
            await h.waitForFirstFrame(page, 120000);
            firstFrames.push(await page.evaluate(() => Module.dozFirstFrameMs));
            const pageMs = await page.evaluate(() => Module._dozTimeSoundtrackDecode());
            inPage.push(pageMs);
            if (fs.existsSync(native)) {
                const nativeMs = nativeDecode();
                natives.push(nativeMs);
                ratios.push(pageMs / nativeMs);
            }
            await page.close();
        }
        console.log(`load to first frame (navigation start to the first pass, 192x108), median of ${RUNS}: ${median(firstFrames).toFixed(0)} ms`);
        console.log(`soundtrack decode inside the page, median of ${RUNS}: ${median(inPage).toFixed(1)} ms`);
        if (natives.length > 0) {
            console.log(`native decode (doz-decode-bench), median of ${RUNS}: ${median(natives).toFixed(1)} ms`);
            console.log(`ratio page / native decode, median of ${RUNS} pairs: ${median(ratios).toFixed(2)}`);
        } else {
            console.log(`(no ${native}: cmake --build --preset linux --target doz-decode-bench)`);
        }

        const page = await h.openPage(browser, 640, 360);
        await page.goto(`${server.origin}/index.html?at=70&paused`);
        await h.waitForFirstFrame(page, 120000);
        const still = path.join(h.WEB_BUILD, 'screenshot-70s-640x360.png');
        await page.screenshot({path: still});
        console.log(`still of ?at=70&paused at 640x360: ${still}`);
        const renderer = page.consoleLines.find((line) => line.includes('renderer'));
        if (renderer)
            console.log(renderer.replace(/^log: /, ''));
    } finally {
        await browser.close();
        await server.close();
    }
})().catch((error) => {
    console.error(error);
    process.exit(1);
});
