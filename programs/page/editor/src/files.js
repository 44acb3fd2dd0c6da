// The text back on disk: downloaded as scene.frag, or, where the browser has the File System Access API,
// written into a folder the author picks once (a folder that `doz-engine --author --shaders DIR` watches).

export const STAGE_FILE = 'scene.frag';

export function downloadStage(text) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(new Blob([text], {type: 'text/plain'}));
    link.download = STAGE_FILE;
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 0);
}

export function canSaveToFolder() {
    return typeof window.showDirectoryPicker === 'function';
}

let folder = null;

// Resolves to the folder's name once written; asks for the folder the first time.
export async function saveStageToFolder(text) {
    if (!folder)
        folder = await window.showDirectoryPicker({id: 'doz-engine-shaders', mode: 'readwrite'});
    const file = await folder.getFileHandle(STAGE_FILE, {create: true});
    const writable = await file.createWritable();
    await writable.write(text);
    await writable.close();
    return folder.name;
}
