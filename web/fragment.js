// The figure in the address: the parameter text, deflated and written in URL-safe base64 after
// "#f=", with "&fixed" when the picture keeps its own size instead of following the window.

const kLongestFragment = 64 * 1024;

async function through(stream, bytes) {
    const piped = new Blob([bytes]).stream().pipeThrough(stream);
    return new Uint8Array(await new Response(piped).arrayBuffer());
}

function base64Url(bytes) {
    let text = '';
    for (const b of bytes) text += String.fromCharCode(b);
    return btoa(text).replaceAll('+', '-').replaceAll('/', '_').replace(/=+$/, '');
}

function bytesOfBase64Url(text) {
    if (!/^[A-Za-z0-9_-]*$/.test(text)) throw new Error('the link holds characters a figure never has');
    let plain;
    try {
        plain = atob(text.replaceAll('-', '+').replaceAll('_', '/'));
    } catch {
        throw new Error('the figure in the link is damaged (it may have been cut short)');
    }
    return Uint8Array.from(plain, (c) => c.charCodeAt(0));
}

export async function fragmentOf(datBytes, fixedSize = false) {
    const packed = await through(new CompressionStream('deflate-raw'), datBytes);
    return '#f=' + base64Url(packed) + (fixedSize ? '&fixed' : '');
}

// The parameter text and the size rule of a fragment; null for a fragment without a figure.
// A damaged figure throws an Error whose message says what is wrong.
export async function figureOfFragment(fragment) {
    const match = /^#f=([^&]*)((?:&[a-z]+)*)$/.exec(fragment);
    if (!match) return null;
    if (match[1].length > kLongestFragment) throw new Error('the link is too long to hold a figure');
    const packed = bytesOfBase64Url(match[1]);
    let dat;
    try {
        dat = await through(new DecompressionStream('deflate-raw'), packed);
    } catch (error) {
        throw new Error('the figure in the link is damaged (it may have been cut short)');
    }
    return { dat, fixedSize: match[2].split('&').includes('fixed') };
}
