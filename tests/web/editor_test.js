// The page as an author's tool, in one session on the release's single-file page opened from disk (made
// here by tools/release/inline_page.py from the web build): "?edit" opens the editor over a linked moment;
// Space typed there types a space and does not start the demo; a changed constant built with Ctrl+Enter
// counts in the title's "[reload 1]" and changes the picture; a typo marks its own line in the gutter,
// puts that line's error in the title and keeps the picture; the fix clears it; with the option on, typing
// that rests builds by itself; a reload brings the draft back with a notice; Share puts the stage into the
// address, which a fresh browser profile opens to the same picture without loading the editor; a fragment that does not decode, or whose stage does not build, is
// said and the built-in stage plays; Escape hands the focus to the picture, whose Space then plays, and
// Ctrl+Space pauses from the editor.
//
// ctest: web.PageStageEditor.
'use strict';
const assert = require('node:assert/strict');
const {test} = require('node:test');
const {execFileSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {pathToFileURL} = require('url');
const zlib = require('zlib');
const h = require('./harness.js');

const WIDTH = 256, HEIGHT = 144;
// The picture left of the panel (which covers at most 46 % of the width).
const CLIP = {x: 0, y: 0, width: 128, height: HEIGHT};
// Block means of one renderer's frames: the same stage at the same moment draws the same pixels.
const SAME_PICTURE = 0.5;
const CHANGED_PICTURE = 8;
const CHANGED_CONSTANT = 'vec3(.7)'; // the gamma of the stage's last line but a few
const NEW_CONSTANT = 'vec3(1.6)';

// The picture without the stage notice over its corner.
async function picture(page) {
    const {PNG} = require('pngjs');
    await page.evaluate(() => document.getElementById('stage-notice')?.style.setProperty('visibility', 'hidden'));
    const shot = PNG.sync.read(Buffer.from(await page.screenshot({type: 'png', clip: CLIP})));
    await page.evaluate(() => document.getElementById('stage-notice')?.style.removeProperty('visibility'));
    return shot;
}

async function waitForEditor(page) {
    await page.waitForFunction(() => document.querySelector('#stage-editor .cm-content'), {timeout: 60000});
}

function editorText(page) {
    return page.evaluate(() => document.getElementById('stage-editor').editorView.state.doc.toString());
}

// Selects `text` in the editor (its first occurrence) and gives the editor the focus.
async function select(page, text) {
    const found = await page.evaluate((wanted) => {
        const view = document.getElementById('stage-editor').editorView;
        const at = view.state.doc.toString().indexOf(wanted);
        if (at >= 0)
            view.dispatch({selection: {anchor: at, head: at + wanted.length}, scrollIntoView: true});
        view.focus();
        return at >= 0 ? view.state.doc.lineAt(at).number : 0;
    }, text);
    assert.ok(found > 0, `no ${text} in the editor`);
    return found;
}

// The lines whose gutter shows an error marker, read from the drawn gutters.
function markedLines(page) {
    return page.evaluate(() => {
        const numbers = [...document.querySelectorAll('.cm-lineNumbers .cm-gutterElement')];
        return [...document.querySelectorAll('.cm-gutter-lint .cm-gutterElement')]
            .filter((element) => element.querySelector('.cm-lint-marker-error'))
            .map((element) => {
                const top = element.getBoundingClientRect().top;
                const number = numbers.find((n) => Math.abs(n.getBoundingClientRect().top - top) < 1);
                return number ? Number(number.textContent) : -1;
            });
    });
}

function noticeText(page) {
    return page.evaluate(() => (document.getElementById('stage-notice') || {}).textContent || '');
}

async function waitForTitle(page, pattern) {
    return h.waitUntil(`a title matching ${pattern}`, async () => {
        const title = await page.title();
        return pattern.test(title) ? title : null;
    }, 60000);
}

function singleFilePage() {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'doz-editor-'));
    const file = path.join(dir, 'doz-engine-web.html');
    execFileSync('python3', [path.join(h.ROOT, 'tools', 'release', 'inline_page.py'), h.WEB_BUILD, file]);
    return {dir, address: pathToFileURL(file).href};
}

test('the page edits, builds, keeps, shares and refuses stages', async () => {
    const {dir, address} = singleFilePage();
    const browser = await h.launchChromium();
    const pages = [];
    try {
        const page = await h.openPage(browser, WIDTH, HEIGHT);
        pages.push(page);
        await page.goto(`${address}?at=70&paused&edit`);
        await h.waitForFirstFrame(page, 120000);
        await waitForEditor(page);
        const builtIn = await picture(page);
        assert.ok(h.isScene(builtIn), JSON.stringify(h.describePicture(builtIn)));
        const original = await editorText(page);
        assert.match(original, /^#version 330\n/, 'the editor holds the stage as authors write it');

        // Space typed in the editor is a space, and the moment stays paused with no sound.
        const line = await select(page, CHANGED_CONSTANT);
        await page.keyboard.press('ArrowLeft');
        await page.keyboard.press('Space');
        let state = await h.pageState(page);
        assert.equal(state.playing, false, 'Space in the editor started the demo');
        assert.ok(Math.abs(state.musicTime - 70) < 1e-4, `music time ${state.musicTime}`);
        assert.ok((await editorText(page)).includes(` ${CHANGED_CONSTANT}`), 'the space was not typed');
        await page.keyboard.press('Backspace');

        // A changed constant, built with Ctrl+Enter: counted, and the picture changes.
        await select(page, CHANGED_CONSTANT);
        await page.keyboard.type(NEW_CONSTANT);
        await page.keyboard.down('Control');
        await page.keyboard.press('Enter');
        await page.keyboard.up('Control');
        await waitForTitle(page, /\[reload 1\]/);
        const edited = await picture(page);
        const change = h.blockDifference(edited, builtIn);
        assert.ok(change > CHANGED_PICTURE, `the picture changed by ${change.toFixed(1)} only`);

        // A typo on the constant's line: marked there, said in the title, and the picture stays.
        const TYPO = ' * oops';
        await select(page, NEW_CONSTANT);
        await page.keyboard.press('ArrowRight');
        await page.keyboard.type(TYPO);
        await page.keyboard.down('Control');
        await page.keyboard.press('s');
        await page.keyboard.up('Control');
        const failed = await waitForTitle(page, /^reload failed: /);
        assert.match(failed, new RegExp(`\\b0:${line}\\b`), `the title names another line than ${line}`);
        assert.deepEqual(await markedLines(page), [line]);
        assert.ok(h.blockDifference(await picture(page), edited) < SAME_PICTURE, 'a failed build changed the picture');

        // The fix clears the marks and counts.
        for (let i = 0; i < TYPO.length; ++i)
            await page.keyboard.press('Backspace');
        await page.keyboard.down('Control');
        await page.keyboard.press('Enter');
        await page.keyboard.up('Control');
        await waitForTitle(page, /\[reload 2\]/);
        assert.deepEqual(await markedLines(page), []);
        const draft = await editorText(page);
        assert.equal(draft, original.replace(CHANGED_CONSTANT, NEW_CONSTANT));

        // Asked to, the page builds by itself once typing rests.
        await page.click('#stage-editor input[type=checkbox]');
        await select(page, NEW_CONSTANT);
        await page.keyboard.type(NEW_CONSTANT);
        await waitForTitle(page, /\[reload 3\]/);
        await page.click('#stage-editor input[type=checkbox]');

        // A reload brings the draft back, says so, and draws it.
        await page.reload();
        await h.waitForFirstFrame(page, 120000);
        await waitForEditor(page);
        assert.equal(await editorText(page), draft);
        assert.match(await noticeText(page), /draft of scene\.frag .* is back and plays/);
        await waitForTitle(page, /\[reload 1\]/);
        const restored = h.blockDifference(await picture(page), edited);
        assert.ok(restored < SAME_PICTURE, `the restored draft draws ${restored.toFixed(1)} away from the edit`);

        // Share: the address carries the stage; a fresh profile opens it to the same picture, with no editor.
        await page.click('#stage-editor button:nth-of-type(2)');
        const shared = await h.waitUntil('the address to carry the stage', async () => {
            const url = page.url();
            return url.includes('#stage=') ? url : null;
        }, 30000);
        const fresh = await browser.createBrowserContext();
        const viewer = await fresh.newPage();
        await viewer.setViewport({width: WIDTH, height: HEIGHT, deviceScaleFactor: 1});
        await viewer.goto(shared.replace('&edit', ''));
        await h.waitForFirstFrame(viewer, 120000);
        await waitForTitle(viewer, /\[reload 1\]/);
        const sharedDifference = h.blockDifference(await picture(viewer), edited);
        assert.ok(sharedDifference < SAME_PICTURE, `the shared stage draws ${sharedDifference.toFixed(1)} away`);
        assert.match(await noticeText(viewer), /carries its own stage/);
        assert.equal(await viewer.evaluate(() => window.dozEditorPanel), undefined, 'the editor loaded unasked');

        // A fragment that does not decode, and one whose stage does not build: said, and the built-in plays.
        const broken = zlib.deflateRawSync('#version 330\nout vec4 O;\nvoid main() { O = nothing; }\n')
            .toString('base64url');
        for (const [code, said] of [['not*base64', /cannot be read/], [broken, /does not build \(line 3: /]]) {
            await viewer.goto('about:blank'); // a new document, not a move of the fragment
            await viewer.goto(`${address}?at=70&paused#stage=${code}`);
            await h.waitForFirstFrame(viewer, 120000);
            await h.waitUntil('the notice', async () => said.test(await noticeText(viewer)), 30000);
            const difference = h.blockDifference(await picture(viewer), builtIn);
            assert.ok(difference < SAME_PICTURE, `the built-in stage draws ${difference.toFixed(1)} away`);
        }
        await fresh.close();

        // Escape gives the picture the focus, and Space there plays.
        await page.focus('#stage-editor .cm-content');
        await page.keyboard.press('Escape');
        assert.equal(await page.evaluate(() => document.activeElement.id), 'canvas');
        await page.keyboard.press('Space');
        state = await h.waitUntil('Space on the picture to play', async () => {
            const now = await h.pageState(page);
            return now.playing ? now : null;
        }, 30000);
        // Ctrl+Space, a key of the page's table, pauses from the editor and types nothing.
        const before = await editorText(page);
        await page.focus('#stage-editor .cm-content');
        await page.keyboard.down('Control');
        await page.keyboard.press('Space');
        await page.keyboard.up('Control');
        await h.waitUntil('Ctrl+Space in the editor to pause', async () => !(await h.pageState(page)).playing, 30000);
        assert.equal(await editorText(page), before);
        const errors = page.consoleLines.filter((text) => text.startsWith('pageerror'));
        assert.deepEqual(errors, []);
        console.log(`picture change of the edit: ${change.toFixed(1)}; shared stage: ${sharedDifference.toFixed(1)}`);
    } catch (error) {
        console.log(pages.map((page) => page.consoleLines.join('\n')).join('\n----\n'));
        throw error;
    } finally {
        await browser.close();
        fs.rmSync(dir, {recursive: true, force: true});
    }
});
