// PNG files as the desktop writes them: signature, IHDR (8-bit RGB), tEXt "Software", zTXt
// "Dorvanta" holding the parameter text byte for byte, IDAT, IEND; and the parameter text read
// back from any PNG that carries it.

export const kParameterKeyword = 'Dorvanta';
export const kSoftwareName = 'Dorvanta 4.0';
const kSignature = [137, 80, 78, 71, 13, 10, 26, 10];

const crcTable = (() => {
    const table = new Uint32Array(256);
    for (let n = 0; n < 256; ++n) {
        let c = n;
        for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
        table[n] = c >>> 0;
    }
    return table;
})();

function crc32(bytes) {
    let c = 0xffffffff;
    for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

function latin1(text) {
    return Uint8Array.from(text, (c) => c.charCodeAt(0) & 0xff);
}

function chunk(type, data) {
    const out = new Uint8Array(12 + data.length);
    const view = new DataView(out.buffer);
    view.setUint32(0, data.length);
    out.set(latin1(type), 4);
    out.set(data, 8);
    view.setUint32(8 + data.length, crc32(out.subarray(4, 8 + data.length)));
    return out;
}

async function zlib(bytes, inflate = false) {
    const stream = inflate ? new DecompressionStream('deflate') : new CompressionStream('deflate');
    const piped = new Blob([bytes]).stream().pipeThrough(stream);
    return new Uint8Array(await new Response(piped).arrayBuffer());
}

function concat(parts) {
    const out = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
    let at = 0;
    for (const p of parts) {
        out.set(p, at);
        at += p.length;
    }
    return out;
}

// The PNG of top-down RGBA pixels with the parameter text (bytes; none when empty). Rows use the
// Up filter, as the desktop's encoder does for pictures of its usual sizes.
export async function encodePng(rgba, width, height, parameterText) {
    const header = new Uint8Array(13);
    const view = new DataView(header.buffer);
    view.setUint32(0, width);
    view.setUint32(4, height);
    header.set([8, 2, 0, 0, 0], 8);
    const rowBytes = width * 3;
    const filtered = new Uint8Array((rowBytes + 1) * height);
    const previous = new Uint8Array(rowBytes);
    const row = new Uint8Array(rowBytes);
    for (let y = 0; y < height; ++y) {
        for (let x = 0, i = y * width * 4; x < rowBytes; x += 3, i += 4) {
            row[x] = rgba[i];
            row[x + 1] = rgba[i + 1];
            row[x + 2] = rgba[i + 2];
        }
        const at = y * (rowBytes + 1);
        filtered[at] = 2;
        for (let x = 0; x < rowBytes; ++x) filtered[at + 1 + x] = (row[x] - previous[x]) & 0xff;
        previous.set(row);
    }
    const parts = [Uint8Array.from(kSignature), chunk('IHDR', header),
        chunk('tEXt', concat([latin1('Software'), [0], latin1(kSoftwareName)].map((p) => Uint8Array.from(p))))];
    if (parameterText.length > 0) {
        parts.push(chunk('zTXt', concat([latin1(kParameterKeyword), Uint8Array.of(0, 0),
            await zlib(parameterText)])));
    }
    parts.push(chunk('IDAT', await zlib(filtered)), chunk('IEND', new Uint8Array(0)));
    return concat(parts);
}

// The parameter text a PNG carries (zTXt, iTXt or tEXt "Dorvanta"), or null when it carries
// none. Throws an Error that says why when the bytes are no PNG.
export async function parameterTextOfPng(bytes) {
    if (bytes.length < 8 || kSignature.some((b, i) => bytes[i] !== b)) throw new Error('the file is no PNG picture');
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const key = latin1(kParameterKeyword + '\0');
    for (let at = 8; at + 12 <= bytes.length;) {
        const length = view.getUint32(at);
        const type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
        if (length > bytes.length - at - 12) throw new Error('the PNG picture is cut short');
        const data = bytes.subarray(at + 8, at + 8 + length);
        if (crc32(bytes.subarray(at + 4, at + 8 + length)) !== view.getUint32(at + 8 + length)) {
            throw new Error(`the PNG picture is damaged (chunk ${type})`);
        }
        const keyed = data.length >= key.length && key.every((b, i) => data[i] === b);
        try {
            if (keyed && type === 'zTXt') return await zlib(data.subarray(key.length + 1), true);
            if (keyed && type === 'tEXt') return data.slice(key.length);
            if (keyed && type === 'iTXt') {
                // Flag, method, then language and translated keyword, each ended by NUL.
                let text = key.length + 2;
                let nuls = 0;
                while (nuls < 2 && text < data.length) if (data[text++] === 0) ++nuls;
                if (nuls < 2) throw new Error('cut short');
                const body = data.subarray(text);
                return data[key.length] === 1 ? await zlib(body, true) : body.slice();
            }
        } catch (error) {
            throw new Error('the figure in the PNG picture is damaged');
        }
        if (type === 'IEND') return null;
        at += 12 + length;
    }
    throw new Error('the PNG picture is cut short');
}
