// Shared by the browser tests and the benchmark: a static server over build/web and headless Chromium
// with WebGL 2 on SwiftShader, driven through puppeteer-core.
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
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

module.exports = {ROOT, WEB_BUILD, CHROMIUM, serveDirectory, launchChromium, openPage, waitForFirstFrame};
