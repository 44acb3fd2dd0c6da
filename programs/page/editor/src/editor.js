// The stage editor's panel over the picture's right side: CodeMirror 6 with line numbers, GLSL
// highlighting and the errors of the last build in the gutter. Keys typed here stay here: none of them
// reaches the demo (its keys are read on the document) but the Ctrl+ keys the editor leaves, and Escape
// hands the focus back to the picture.
import {defaultKeymap, history, historyKeymap, indentWithTab} from '@codemirror/commands';
import {bracketMatching, defaultHighlightStyle, StreamLanguage, syntaxHighlighting} from '@codemirror/language';
import {shader} from '@codemirror/legacy-modes/mode/clike';
import {lintGutter, setDiagnostics} from '@codemirror/lint';
import {EditorState} from '@codemirror/state';
import {drawSelection, EditorView, highlightActiveLine, keymap, lineNumbers} from '@codemirror/view';

const PANEL_STYLE = 'position:fixed;top:0;right:0;width:min(46vw,720px);height:100vh;z-index:3;display:flex;' +
                    'flex-direction:column;background:rgba(16,16,20,.92);color:#ddd;font:13px sans-serif';
const THEME = EditorView.theme({
    '&': {flex: '1', minHeight: '0', backgroundColor: 'transparent', color: '#e8e8e8'},
    '.cm-scroller': {fontFamily: 'monospace', fontSize: '13px'},
    '.cm-gutters': {backgroundColor: 'rgba(0,0,0,.4)', color: '#888', border: 'none'},
    '.cm-activeLine': {backgroundColor: 'rgba(255,255,255,.05)'},
    '&.cm-focused .cm-cursor': {borderLeftColor: '#fff'},
}, {dark: true});

function button(bar, label, title, run) {
    const element = document.createElement('button');
    element.textContent = label;
    element.title = title;
    element.addEventListener('click', run);
    bar.appendChild(element);
    return element;
}

// The diagnostics of a build's errors: each marks its whole line.
function diagnosticsOf(doc, errors) {
    return errors.filter((error) => error.line >= 1 && error.line <= doc.lines).map((error) => {
        const line = doc.line(error.line);
        return {from: line.from, to: line.to, severity: 'error', message: error.message};
    });
}

function create(options) {
    const panel = document.createElement('div');
    panel.id = 'stage-editor';
    panel.style.cssText = PANEL_STYLE;
    const bar = document.createElement('div');
    bar.style.cssText = 'display:flex;flex-wrap:wrap;gap:4px;padding:4px;align-items:center';
    const status = document.createElement('div');
    status.id = 'stage-editor-status';
    status.style.cssText = 'padding:2px 6px;min-height:1.4em;white-space:pre-wrap';
    panel.append(bar, status);

    let view = null;
    const build = () => {
        options.onBuild();
        return true;
    };
    const leave = () => {
        view.contentDOM.blur();
        options.onLeave();
        return true;
    };
    view = new EditorView({
        parent: panel,
        state: EditorState.create({
            doc: options.text,
            extensions: [
                lineNumbers(), lintGutter(), history(), drawSelection(), highlightActiveLine(), bracketMatching(),
                StreamLanguage.define(shader), syntaxHighlighting(defaultHighlightStyle), THEME,
                keymap.of([{key: 'Mod-Enter', run: build}, {key: 'Mod-s', run: build, preventDefault: true},
                           {key: 'Escape', run: leave}, indentWithTab, ...defaultKeymap, ...historyKeymap]),
                EditorView.updateListener.of((update) => {
                    if (update.docChanged)
                        options.onChange(update.state.doc.toString());
                }),
            ],
        }),
    });

    button(bar, 'Build', 'Build the text now (Ctrl+Enter, Ctrl+S)', build);
    button(bar, 'Share', 'Put the text into the address', options.onShare);
    button(bar, 'Download', 'Download the text as scene.frag', options.onDownload);
    if (options.canSaveToFolder)
        button(bar, 'Save to folder', 'Write scene.frag into a folder (one that doz-engine --author watches)',
               options.onSaveToFolder);
    button(bar, 'Built-in stage', 'Back to the built-in stage (the draft goes)', options.onBuiltIn);
    const auto = document.createElement('label');
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.checked = options.autoBuild;
    box.addEventListener('change', () => options.onAutoBuild(box.checked));
    auto.append(box, ' build when typing rests');
    bar.appendChild(auto);
    button(bar, 'Close', 'Close the editor (the draft stays)', () => {
        panel.remove();
        view.destroy();
        options.onClose();
    });

    // The document's key handler is the demo's: nothing typed in the panel goes on to it, but a Ctrl+ key
    // the editor did not take does, for the page's key table to read (Ctrl+Space pauses from here).
    for (const type of ['keydown', 'keyup', 'keypress'])
        panel.addEventListener(type, (event) => {
            if (!(type === 'keydown' && event.ctrlKey && !event.defaultPrevented))
                event.stopPropagation();
        });
    document.body.appendChild(panel);
    // For the page's tests and the browser's developer tools.
    panel.editorView = view;

    return {
        view,
        focus: () => view.focus(),
        say: (text) => {
            status.textContent = text;
        },
        showErrors: (errors) => view.dispatch(setDiagnostics(view.state, diagnosticsOf(view.state.doc, errors))),
        setText: (text) => view.dispatch({changes: {from: 0, to: view.state.doc.length, insert: text}}),
    };
}

window.dozEditorPanel = {create};
