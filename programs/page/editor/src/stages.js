// The page's fragment stage as an author edits it: the built-in text, a draft kept in the browser, or a
// stage carried by the address; each built in the running module (programs/page/page_stage_calls.cpp)
// through author mode's stage reloader. Small and always loaded; CodeMirror's panel (editor.js) is loaded
// only when the editor opens (E, or ?edit in the address).
import {dropDraft, readDraft, writeDraft} from './drafts.js';
import {canSaveToFolder, downloadStage, saveStageToFolder, STAGE_FILE} from './files.js';
import {decodeStage, encodeStage, fragmentWithStage, sharedStageCode} from './share.js';

const AUTO_BUILD_KEY = 'doz-engine:build-when-typing-rests';
const TYPING_REST_MS = 800;

const stages = {
    module: null,
    builtIn: '',
    version: '',
    text: '',        // what the editor holds (the built-in text until an edit, a draft or a shared stage)
    panel: null,     // the open editor panel
    opening: null,   // the panel's script on its way
    restTimer: 0,
    autoBuild: false,
};

function call(name, returns, types, args) {
    return stages.module.ccall(name, returns, types || [], args || []);
}

// The line over the picture's corner that says where the stage came from, with its actions.
function showStageNotice(text, actions) {
    let box = document.getElementById('stage-notice');
    if (!box) {
        box = document.createElement('div');
        box.id = 'stage-notice';
        box.style.cssText = 'position:fixed;left:8px;bottom:8px;max-width:60vw;padding:6px 10px;z-index:2;' +
                            'background:rgba(0,0,0,.75);color:#eee;font:13px sans-serif;border-radius:4px';
        document.body.appendChild(box);
    }
    box.textContent = text;
    box.style.display = text ? 'block' : 'none';
    for (const {label, run} of actions || []) {
        const button = document.createElement('button');
        button.textContent = label;
        button.style.marginLeft = '8px';
        button.addEventListener('click', run);
        box.appendChild(button);
    }
}

function errorsOfBuild() {
    return call('dozStageErrors', 'string').split('\n').filter(Boolean).map((line) => {
        const tab = line.indexOf('\t');
        return {line: Number(line.slice(0, tab)), message: line.slice(tab + 1)};
    });
}

// Builds `text` as the stage; the panel, when open, marks the errors.
function buildStage(text) {
    const built = call('dozBuildFragmentStage', 'number', ['string'], [text]) === 1;
    const errors = built ? [] : errorsOfBuild();
    if (stages.panel)
        stages.panel.showErrors(errors);
    return {built, errors};
}

function firstError(errors) {
    return errors.length ? `line ${errors[0].line}: ${errors[0].message}` : 'it does not build';
}

function backToBuiltIn() {
    if (stages.panel)
        stages.panel.setText(stages.builtIn);
    dropDraft(stages.version);
    stages.text = stages.builtIn;
    buildStage(stages.builtIn);
    history.replaceState(history.state, '', location.pathname + location.search +
                                             fragmentWithStage(location.hash, null));
    showStageNotice('The built-in stage plays.');
}

const BUILT_IN_ACTION = {label: 'Built-in stage', run: backToBuiltIn};

async function openSharedStage(code) {
    let text;
    try {
        text = await decodeStage(code);
    } catch (e) {
        showStageNotice(`The stage in this address cannot be read (${e.message || e}); the built-in stage plays.`);
        return;
    }
    const {built, errors} = buildStage(text);
    stages.text = text;
    if (built)
        showStageNotice('This address carries its own stage, which plays now.', [BUILT_IN_ACTION]);
    else
        showStageNotice(`The stage in this address does not build (${firstError(errors)}); the built-in stage ` +
                        'plays.');
}

function restoreDraft(draft) {
    stages.text = draft.text;
    const when = new Date(draft.saved).toLocaleString();
    const {built, errors} = buildStage(draft.text);
    if (built)
        showStageNotice(`Your draft of ${STAGE_FILE} from ${when} is back and plays (E edits it).`,
                        [BUILT_IN_ACTION]);
    else
        showStageNotice(`Your draft of ${STAGE_FILE} from ${when} is back but does not build ` +
                        `(${firstError(errors)}); the built-in stage plays (E edits the draft).`,
                        [BUILT_IN_ACTION]);
}

function edited(text) {
    stages.text = text;
    if (!writeDraft(stages.version, text))
        stages.panel.say('This browser keeps no draft: download the text to keep it.');
    clearTimeout(stages.restTimer);
    if (stages.autoBuild)
        stages.restTimer = setTimeout(() => buildFromPanel(), TYPING_REST_MS);
}

function buildFromPanel() {
    clearTimeout(stages.restTimer);
    const {built, errors} = buildStage(stages.text);
    const reloads = call('dozStageReloads', 'number');
    stages.panel.say(built ? `built: reload ${reloads}` : `${errors.length || 1} error(s); ${firstError(errors)}`);
}

async function share() {
    const code = await encodeStage(stages.text);
    history.replaceState(history.state, '', location.pathname + location.search +
                                             fragmentWithStage(location.hash, code));
    let copied = false;
    try {
        await navigator.clipboard.writeText(location.href);
        copied = true;
    } catch (e) {
        // No clipboard here (a page from disk, a browser that asks): the address bar holds it.
    }
    stages.panel.say(`The address carries this stage (${code.length} characters)` +
                     (copied ? ' and is copied.' : ': copy it from the address bar.'));
}

async function saveToFolder() {
    try {
        const name = await saveStageToFolder(stages.text);
        stages.panel.say(`saved ${STAGE_FILE} in ${name}`);
    } catch (e) {
        stages.panel.say(`not saved: ${e.message || e}`);
    }
}

// The panel's script: inside the page itself in a single-file page, beside it otherwise.
function loadPanelScript() {
    if (window.dozEditorPanel)
        return Promise.resolve();
    return new Promise((resolve, reject) => {
        const script = document.createElement('script');
        const carried = document.getElementById('doz-editor-bundle');
        if (carried) {
            script.textContent = carried.textContent;
            document.head.appendChild(script);
            resolve();
            return;
        }
        script.src = 'doz-editor.js';
        script.onload = resolve;
        script.onerror = () => reject(new Error('doz-editor.js did not load'));
        document.head.appendChild(script);
    });
}

function openEditor() {
    if (!stages.module) {
        window.dozStageEditorWanted = true;
        return;
    }
    if (stages.panel) {
        stages.panel.focus();
        return;
    }
    if (stages.opening)
        return;
    try {
        stages.autoBuild = window.localStorage.getItem(AUTO_BUILD_KEY) === '1';
    } catch (e) {
        stages.autoBuild = false;
    }
    stages.opening = loadPanelScript().then(() => {
        stages.panel = window.dozEditorPanel.create({
            text: stages.text,
            autoBuild: stages.autoBuild,
            canSaveToFolder: canSaveToFolder(),
            onChange: edited,
            onBuild: buildFromPanel,
            onShare: share,
            onDownload: () => downloadStage(stages.text),
            onSaveToFolder: saveToFolder,
            onBuiltIn: backToBuiltIn,
            onAutoBuild: (on) => {
                stages.autoBuild = on;
                try {
                    window.localStorage.setItem(AUTO_BUILD_KEY, on ? '1' : '0');
                } catch (e) {
                    // not kept: it holds for this page
                }
            },
            onLeave: () => document.getElementById('canvas').focus(),
            onClose: () => {
                stages.panel = null;
                document.getElementById('canvas').focus();
            },
        });
        stages.opening = null;
        stages.panel.focus();
    }, (error) => {
        stages.opening = null;
        showStageNotice(`The editor cannot open: ${error.message}`);
    });
}

async function attach(module) {
    if (stages.module)
        return;
    stages.module = module;
    stages.builtIn = call('dozAuthorFragmentStage', 'string');
    stages.version = call('dozBuildVersion', 'string');
    stages.text = stages.builtIn;
    const code = sharedStageCode(location.hash);
    const draft = readDraft(stages.version);
    if (code !== null)
        await openSharedStage(code);
    else if (draft && draft.text !== stages.builtIn)
        restoreDraft(draft);
    if (new URLSearchParams(location.search).has('edit') || window.dozStageEditorWanted)
        openEditor();
}

window.dozStages = {attach, openEditor};
if (window.Module && window.Module.dozStagesReady)
    attach(window.Module);
