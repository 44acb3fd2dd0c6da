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

// Taps what the page sends to each audio context's output, before the page runs: an audio worklet beside
// the destination copies every render quantum while window.dozTapped.recording is set, with the context time
// at which the quantum was rendered (the time the page's sound position counts in). Its own output stays
// silent, so the page sounds as it would untapped. The worklet is made with the context, long before the
// page plays: made at the page's first connect, just as its source started, it put that start 20 ms behind
// the page's clock in some runs (most likely the first worklet node moving Chromium's rendering to another
// thread), a fault of the tap and not of the page.
async function tapAudioOutput(page) {
    await page.evaluateOnNewDocument(() => {
        window.dozTapped = {recording: false, sampleRate: 0, blocks: []};
        const TAP = `registerProcessor('doz-tap', class extends AudioWorkletProcessor {
            constructor() { super(); this.recording = false; this.port.onmessage = (e) => { this.recording = e.data; }; }
            process(inputs) {
                const input = inputs[0];
                if (this.recording && input.length > 0)
                    this.port.postMessage({time: currentTime, left: input[0].slice(), right: input[input.length - 1].slice()});
                return true;
            }
        });`;
        const url = URL.createObjectURL(new Blob([TAP], {type: 'application/javascript'}));
        const connect = AudioNode.prototype.connect;
        const Original = window.AudioContext;
        window.AudioContext = function(options) {
            const context = new Original(options);
            context.dozOutputTap = context.audioWorklet.addModule(url).then(() => {
                const tap = new AudioWorkletNode(context, 'doz-tap', {numberOfInputs: 1, numberOfOutputs: 1,
                                                                      outputChannelCount: [2]});
                tap.port.onmessage = (event) => {
                    window.dozTapped.sampleRate = context.sampleRate;
                    window.dozTapped.blocks.push(event.data);
                };
                connect.call(tap, context.destination);
                window.dozTapped.tap = tap;
                return tap;
            });
            return context;
        };
        window.AudioContext.prototype = Original.prototype;
        AudioNode.prototype.connect = function(target) {
            const result = connect.apply(this, arguments);
            if (target instanceof AudioDestinationNode && this.context.dozOutputTap && !(this instanceof AudioWorkletNode)) {
                const source = this;
                this.context.dozOutputTap.then((tap) => connect.call(source, tap));
            }
            return result;
        };
    });
}

// Records `seconds` of the tapped output (tapAudioOutput), writes it as a 16-bit WAV and compares it with the
// carried track as mpg123 decodes it (tests/tools' sound_match), from the track time that the page's sound
// says it plays at the first block, searching 1 s either way so that a misplaced sound shows as a lag.
// Returns sound_match's figures and that time.
async function matchHeardSound(page, seconds) {
    await waitUntil('the audio tap', () => page.evaluate(() => !!window.dozTapped.tap), 10000);
    await page.evaluate(() => {
        window.dozTapped.blocks = [];
        window.dozTapped.tap.port.postMessage(true);
    });
    await new Promise((resolve) => setTimeout(resolve, 200));
    await waitUntil('the tapped sound', () => page.evaluate((s) => {
        const heard = window.dozTapped;
        return heard.blocks.length > 0 && heard.blocks[heard.blocks.length - 1].time - heard.blocks[0].time >= s;
    }, seconds), 30000);
    const heard = await page.evaluate(() => {
        window.dozTapped.tap.port.postMessage(false);
        const sound = Module.dozSound;
        const blocks = window.dozTapped.blocks.map(
            (block) => ({time: block.time, left: Array.from(block.left), right: Array.from(block.right)}));
        return {sampleRate: window.dozTapped.sampleRate, blocks,
                startFrame: sound.startFrame, startTime: sound.startTime};
    });
    const frames = heard.blocks.reduce((n, block) => n + block.left.length, 0);
    const wav = Buffer.alloc(44 + frames * 4);
    wav.write('RIFF', 0);
    wav.writeUInt32LE(36 + frames * 4, 4);
    wav.write('WAVEfmt ', 8);
    wav.writeUInt32LE(16, 16);
    wav.writeUInt16LE(1, 20);
    wav.writeUInt16LE(2, 22);
    wav.writeUInt32LE(heard.sampleRate, 24);
    wav.writeUInt32LE(heard.sampleRate * 4, 28);
    wav.writeUInt16LE(4, 32);
    wav.writeUInt16LE(16, 34);
    wav.write('data', 36);
    wav.writeUInt32LE(frames * 4, 40);
    let at = 44;
    const toInt16 = (x) => Math.max(-32768, Math.min(32767, Math.round(x * 32768)));
    for (const block of heard.blocks)
        for (let i = 0; i < block.left.length; ++i, at += 4) {
            wav.writeInt16LE(toInt16(block.left[i]), at);
            wav.writeInt16LE(toInt16(block.right[i]), at + 2);
        }
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'doz-heard-'));
    try {
        const file = path.join(dir, 'heard.wav');
        fs.writeFileSync(file, wav);
        const trackTime = heard.startFrame / 44100 + (heard.blocks[0].time - heard.startTime);
        const tool = process.env.DOZ_SOUND_MATCH || path.join(ROOT, 'build', 'linux', 'tests', 'sound_match');
        const said = execFileSync(tool, [file, String(trackTime), '1000'], {encoding: 'utf8'}).trim().split(/\s+/);
        const figures = {trackTime};
        for (let i = 0; i + 1 < said.length; i += 2)
            figures[said[i]] = Number(said[i + 1]);
        return figures;
    } finally {
        fs.rmSync(dir, {recursive: true, force: true});
    }
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
                  recordAudioCalls, tapAudioOutput, matchHeardSound, pageState, waitUntil, captureStill, screenshot, blockDifference,
                  describePicture, isScene};
