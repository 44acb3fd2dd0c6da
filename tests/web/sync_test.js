// The page linked to a sync editor, in one browser session, both ways an editor is reached:
// - "?sync=ws://HOST:PORT" through Debian's websockify, a plain bridge to the test editor's TCP port
//   (tests/e2e/sync_editor.py), which forwards the byte stream split anywhere and takes binary messages
//   only: the page's text greeting is refused by the bridge, and it greets again in binary;
// - the test editor's own WebSocket framing on that same port, as the editor's WebSocket port speaks it: a
//   text greeting, then one command per binary message both ways; a message holding two commands or a cut
//   one is refused, and the test fails.
// Each way, after the click the page greets, asks for every track in order, follows the editor's pause and
// row, sends its own rows while playing, and a key on hero:fold (the 12th track) changes the picture; through
// the bridge a camera key moves it too.
//
// ctest: web.SyncEditorThroughWebsockify. Skipped without websockify.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const {spawn, execFileSync} = require('child_process');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const readline = require('readline');
const h = require('./harness.js');

const WIDTH = 192, HEIGHT = 108;
const TRACKS = ['camera:pos.x', 'camera:pos.y', 'camera:pos.z', 'camera:target.x', 'camera:target.y',
                'camera:target.z', 'camera:roll', 'camera:fov', 'light:exposure', 'fog:density', 'beat:strength',
                'hero:fold', 'grade:saturation', 'grade:contrast', 'grade:warmth'];
const ROWS_PER_SECOND = 16;
// A camera key that moves the eye this far sideways changes the picture by far more than a frame's noise.
const KEY_MOVES_PICTURE = 4;
// hero:fold, the 12th track: the hero's fractal shows best from close by, at 15 s.
const HERO_FOLD = TRACKS.indexOf('hero:fold'), HERO_SECONDS = 15, HERO_MOVES_PICTURE = 10;

function freePort() {
    return new Promise((resolve) => {
        const server = net.createServer();
        server.listen(0, '127.0.0.1', () => {
            const {port} = server.address();
            server.close(() => resolve(port));
        });
    });
}

// The scripted editor: one command a line, one answer a line.
function startEditor() {
    const child = spawn('python3', [path.join(h.ROOT, 'tests', 'e2e', 'sync_editor.py'), 'serve'],
                        {stdio: ['pipe', 'pipe', 'inherit']});
    const answers = [];
    let waiting = null;
    readline.createInterface({input: child.stdout}).on('line', (line) => {
        if (waiting) {
            const done = waiting;
            waiting = null;
            done(line);
        } else {
            answers.push(line);
        }
    });
    const next = () => answers.length ? Promise.resolve(answers.shift())
                                      : new Promise((resolve) => { waiting = resolve; });
    return {
        child,
        next,
        async ask(command) {
            child.stdin.write(command + '\n');
            const answer = await next();
            assert.ok(!answer.startsWith('error'), `editor: ${command}: ${answer}`);
            return answer;
        },
    };
}

async function waitForMusicTime(page, seconds) {
    await h.waitUntil(`the music time at ${seconds} s`, async () => {
        const time = await page.evaluate(() => Module._dozReadMusicTime());
        return Math.abs(time - seconds) < 1e-4;
    }, 30000);
}

// Held at `seconds` by the editor's row, the picture before and after the editor's `key`: how far it moved
// (block means), and how far two frames of the held moment differ without it.
async function keyMovesPicture(page, editor, seconds, key, what, least) {
    await editor.ask('pause 1');
    await editor.ask(`row ${seconds * ROWS_PER_SECOND}`);
    await waitForMusicTime(page, seconds);
    await new Promise((resolve) => setTimeout(resolve, 500));
    const before = await h.screenshot(page);
    await new Promise((resolve) => setTimeout(resolve, 200));
    const still = h.blockDifference(before, await h.screenshot(page));
    await editor.ask(`key ${key}`);
    let moved = 0;
    await h.waitUntil(`the ${what} key to move the picture`, async () => {
        moved = h.blockDifference(before, await h.screenshot(page));
        return moved > least && moved > 4 * still;
    }, 30000);
    console.log(`a ${what} key moved the page's picture by ${moved.toFixed(2)} (block means; ${still.toFixed(2)} ` +
                'between two frames without it)');
}

// The editor's pause and row, and the page's rising rows while it plays.
async function followsTheEditor(page, editor, address) {
    await editor.ask('pause 1');
    await editor.ask('row 480');
    await waitForMusicTime(page, 30);
    // The editor's pause is the viewer's: the address names the moment, and keeps the link.
    await h.waitUntil('the address of the held moment', async () => (await page.evaluate(() => location.search)) ===
                      `?at=30&paused&sync=${address}`, 10000);
    // The rows the page sent before the editor took over.
    await editor.ask('rows 0.5');

    await editor.ask('pause 0');
    const rows = (await editor.ask('rows-least 3')).split(' ').slice(1).map(Number);
    console.log(`the page's rows while playing: ${rows.join(' ')}`);
    assert.ok(rows.length >= 2 && rows.every((row, i) => i === 0 || row > rows[i - 1]) && rows[0] >= 480,
              `rows ${rows}`);
}

// Opens the page linked to `address`, and the editor's next connection: every track asked for, in order.
async function linkPage(page, server, editor, address, framing) {
    await page.goto(`${server.origin}/index.html?at=20&sync=${address}`);
    await h.waitForFirstFrame(page, 120000);
    await page.mouse.click(WIDTH / 2, HEIGHT / 2);
    const tracks = (await editor.ask(`connect ${TRACKS.length}`)).slice('tracks '.length).split(',');
    assert.deepEqual(tracks, TRACKS);
    assert.equal(await editor.ask('framing'), `framing ${framing}`);
}

test('the page follows an editor through websockify and on its own WebSocket port', async (t) => {
    try {
        execFileSync('websockify', ['--help'], {stdio: 'pipe'});
    } catch (e) {
        t.skip('no websockify (tools/install-deps.sh installs it)');
        return;
    }
    const editor = startEditor();
    const port = Number((await editor.next()).split(' ')[1]);
    const bridgePort = await freePort();
    const bridge = spawn('websockify', [`127.0.0.1:${bridgePort}`, `127.0.0.1:${port}`], {stdio: 'ignore'});
    const server = await h.serveDirectory(h.WEB_BUILD);
    const browser = await h.launchChromium();
    try {
        const page = await h.openPage(browser, WIDTH, HEIGHT);
        // Through the bridge: a byte stream.
        const bridged = `ws://127.0.0.1:${bridgePort}`;
        await linkPage(page, server, editor, bridged, 'stream');
        await followsTheEditor(page, editor, bridged);
        await keyMovesPicture(page, editor, 30, '0 0 3.0 0', 'camera:pos.x', KEY_MOVES_PICTURE);
        await editor.ask('key 0 0 0.0 0');
        await keyMovesPicture(page, editor, HERO_SECONDS, `${HERO_FOLD} 0 1.0 0`, 'hero:fold', HERO_MOVES_PICTURE);

        // The editor's own port: one command per message both ways, a message holding more or less refused.
        const direct = `ws://127.0.0.1:${port}`;
        await linkPage(page, server, editor, direct, 'websocket');
        await followsTheEditor(page, editor, direct);
        await keyMovesPicture(page, editor, HERO_SECONDS, `${HERO_FOLD} 0 1.0 0`, 'hero:fold', HERO_MOVES_PICTURE);
        const errors = page.consoleLines.filter((line) => line.startsWith('pageerror'));
        assert.deepEqual(errors, []);
    } finally {
        await browser.close();
        await server.close();
        bridge.kill();
        editor.child.stdin.end('quit\n');
    }
});
