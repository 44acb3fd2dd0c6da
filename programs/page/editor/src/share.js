// A stage carried by the page's address: "#stage=" and the text deflated (raw) and written in base64url,
// through the browser's own CompressionStream.

const FIELD = 'stage';

async function throughStream(bytes, stream) {
    const piped = new Blob([bytes]).stream().pipeThrough(stream);
    return new Uint8Array(await new Response(piped).arrayBuffer());
}

function toBase64Url(bytes) {
    let binary = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
        binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
    if (!/^[A-Za-z0-9_-]*$/.test(text))
        throw new Error('not base64url');
    const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i)
        bytes[i] = binary.charCodeAt(i);
    return bytes;
}

export async function encodeStage(text) {
    return toBase64Url(await throughStream(new TextEncoder().encode(text), new CompressionStream('deflate-raw')));
}

// The text, or an Error saying why the code is no stage.
export async function decodeStage(code) {
    const bytes = await throughStream(fromBase64Url(code), new DecompressionStream('deflate-raw'));
    return new TextDecoder('utf-8', {fatal: true}).decode(bytes);
}

// The fragment's fields, "a=1&stage=..." read as a query.
function fragmentFields(hash) {
    return new URLSearchParams(hash.replace(/^#/, ''));
}

// The code the address carries; null without one.
export function sharedStageCode(hash) {
    return fragmentFields(hash).get(FIELD);
}

// The fragment with the stage's code in it (or out of it, for null), its other fields kept.
export function fragmentWithStage(hash, code) {
    const fields = fragmentFields(hash);
    if (code === null)
        fields.delete(FIELD);
    else
        fields.set(FIELD, code);
    const text = fields.toString();
    return text ? `#${text}` : '';
}
