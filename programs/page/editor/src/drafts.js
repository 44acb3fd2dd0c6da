// The author's draft of the stage in the browser's storage, one per build version: a reload, a closed tab
// or a crash brings it back.

const PREFIX = 'doz-engine:draft:';

function storage() {
    try {
        return window.localStorage;
    } catch (e) {
        return null; // storage refused (a sandboxed frame, a browser setting)
    }
}

export function readDraft(version) {
    const store = storage();
    try {
        const kept = store && JSON.parse(store.getItem(PREFIX + version));
        return kept && typeof kept.text === 'string' ? kept : null;
    } catch (e) {
        return null;
    }
}

// Returns false when the browser would not keep it.
export function writeDraft(version, text) {
    const store = storage();
    try {
        store.setItem(PREFIX + version, JSON.stringify({text, saved: Date.now()}));
        return true;
    } catch (e) {
        return false;
    }
}

export function dropDraft(version) {
    const store = storage();
    if (store)
        store.removeItem(PREFIX + version);
}
