// Shared by the browser tests and the benchmark: a static server over build/web and headless Chromium
// with WebGL 2 on SwiftShader, driven through puppeteer-core.
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const {execFileSync} = require('child_process');
const os = require('os');
const {PNG} = require('pngjs');
const puppeteer = require('puppeteer-core');

const ROOT = path.resolve(__dirname, '..', '..');
const WEB_BUILD = process.env.DOZ_WEB_BUILD || path.join(ROOT, 'build', 'web');
const CHROMIUM = process.env.DOZ_CHROMIUM || '/usr/bin/chromium';

const TYPES = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.png': 'image/png'};

// Serves `dir` on 127.0.0.1 at a free port; resolves to {origin, close}.
function serveDirectory(dir) {
    const server = http.createServer((request, response) => {
        const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
        const file = path.join(dir, name === '/' ? 'index.html' : name);
        if (!file.startsWith(dir) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
            response.writeHead(404);
            response.end();
            return;
        }
        response.writeHead(200, {'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream'});
        fs.createReadStream(file).pipe(response);
    });
    return new Promise((resolve) => {
        server.listen(0, '127.0.0.1', () => {
            resolve({origin: `http://127.0.0.1:${server.address().port}`,
                     close: () => new Promise((done) => server.close(done))});
        });
    });
}

async function launchChromium() {
    return puppeteer.launch({
        executablePath: CHROMIUM,
        headless: true,
        args: ['--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--no-sandbox',
               '--disable-dev-shm-usage', '--no-first-run', '--mute-audio'],
    });
}

// A page of the given CSS size at devicePixelRatio 1, with its console gathered into `consoleLines`.
async function openPage(browser, width, height) {
    const page = await browser.newPage();
    await page.setViewport({width, height, deviceScaleFactor: 1});
    page.consoleLines = [];
    page.on('console', (message) => page.consoleLines.push(`${message.type()}: ${message.text()}`));
    page.on('pageerror', (error) => page.consoleLines.push(`pageerror: ${error.message}`));
    return page;
}

// Waits until the module has drawn its first frame (or the page shows a message instead).
async function waitForFirstFrame(page, timeoutMs) {
    await page.waitForFunction(
        () => (window.Module && Module.dozFirstFrameMs !== undefined) ||
              document.getElementById('message').style.display === 'block',
        {timeout: timeoutMs, polling: 100});
}

// Records every start and stop of a Web Audio buffer source in window.dozAudioCalls, before the page runs.
async function recordAudioCalls(page) {
    await page.evaluateOnNewDocument(() => {
        window.dozAudioCalls = [];
        const start = AudioBufferSourceNode.prototype.start;
        const stop = AudioBufferSourceNode.prototype.stop;
        AudioBufferSourceNode.prototype.start = function(when, offset, duration) {
            const left = this.buffer.getChannelData(0);
            let peak = 0;
            for (let i = 0; i < left.length; i += 97)
                peak = Math.max(peak, Math.abs(left[i]));
            window.dozAudioCalls.push({call: 'start', when, offset, duration, loop: this.loop, frames: this.buffer.length,
                                       sampleRate: this.buffer.sampleRate, channels: this.buffer.numberOfChannels,
                                       peak, contextTime: this.context.currentTime});
            return start.apply(this, arguments);
        };
        AudioBufferSourceNode.prototype.stop = function() {
            window.dozAudioCalls.push({call: 'stop', contextTime: this.context.currentTime});
            return stop.apply(this, arguments);
        };
    });
}

// What the page shows and where its clocks stand, in one evaluation.
async function pageState(page) {
    return page.evaluate(() => {
        const sound = Module.dozSound;
        const context = sound && sound.context;
        return {
            title: document.title,
            notice: document.getElementById('notice').style.display === 'none' ? ''
                                                                              : document.getElementById('notice').textContent,
            message: document.getElementById('message').style.display === 'block'
                         ? document.getElementById('message').textContent : '',
            musicTime: Module._dozReadMusicTime(),
            // The audio context's own clock: the time of the sample frames it has rendered.
            audioTime: context ? context.currentTime : null,
            audioState: context ? context.state : null,
            pageTime: performance.now(),
            playing: !!(sound && sound.playing),
            audioCalls: window.dozAudioCalls ? window.dozAudioCalls.slice() : [],
        };
    });
}

async function waitUntil(what, check, timeoutMs) {
    const end = Date.now() + timeoutMs;
    for (;;) {
        const value = await check();
        if (value)
            return value;
        if (Date.now() > end)
            throw new Error(`timed out waiting for ${what}`);
        await new Promise((resolve) => setTimeout(resolve, 100));
    }
}

// doz-capture's still of the demo at `seconds`, decoded.
function captureStill(seconds, width, height) {
    const capture = process.env.DOZ_CAPTURE || path.join(ROOT, 'build', 'linux', 'doz-capture');
    const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'doz-web-')), `still-${seconds}.png`);
    execFileSync(capture, ['--at', String(seconds), '--size', `${width}x${height}`, '-o', file], {stdio: 'pipe'});
    const image = PNG.sync.read(fs.readFileSync(file));
    fs.rmSync(path.dirname(file), {recursive: true, force: true});
    return image;
}

async function screenshot(page) {
    return PNG.sync.read(Buffer.from(await page.screenshot({type: 'png'})));
}

// Mean absolute difference, 0..255 per channel, of the mean colours of 8x8 blocks: where two renderers
// round differently the fine detail differs pixel by pixel while the composition of each block holds.
const BLOCK = 8;
function blockDifference(a, b) {
    if (a.width !== b.width || a.height !== b.height)
        throw new Error(`sizes differ: ${a.width}x${a.height} and ${b.width}x${b.height}`);
    let total = 0, blocks = 0;
    for (let by = 0; by < a.height; by += BLOCK) {
        for (let bx = 0; bx < a.width; bx += BLOCK) {
            const sums = [0, 0, 0, 0, 0, 0];
            let count = 0;
            for (let y = by; y < Math.min(by + BLOCK, a.height); ++y) {
                for (let x = bx; x < Math.min(bx + BLOCK, a.width); ++x) {
                    const i = 4 * (y * a.width + x);
                    for (let c = 0; c < 3; ++c) {
                        sums[c] += a.data[i + c];
                        sums[c + 3] += b.data[i + c];
                    }
                    ++count;
                }
            }
            for (let c = 0; c < 3; ++c)
                total += Math.abs(sums[c] - sums[c + 3]) / count;
            ++blocks;
        }
    }
    return total / (3 * blocks);
}

// Spread of the luminance and the number of distinct colours at 5 bits a channel: a scene, not a blank.
function describePicture(image) {
    const lum = [];
    const colours = new Set();
    for (let i = 0; i < image.data.length; i += 4) {
        const [r, g, b] = [image.data[i], image.data[i + 1], image.data[i + 2]];
        lum.push((r * 299 + g * 587 + b * 114) / 1000);
        colours.add(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
    }
    const mean = lum.reduce((s, v) => s + v, 0) / lum.length;
    const spread = Math.sqrt(lum.reduce((s, v) => s + (v - mean) * (v - mean), 0) / lum.length);
    return {mean, spread, colours: colours.size};
}

function isScene(image) {
    const {spread, colours} = describePicture(image);
    return spread > 8 && colours > 20;
}

module.exports = {ROOT, WEB_BUILD, CHROMIUM, serveDirectory, launchChromium, openPage, waitForFirstFrame,
                  recordAudioCalls, pageState, waitUntil, captureStill, screenshot, blockDifference,
                  describePicture, isScene};
