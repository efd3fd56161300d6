// The page's helpers under Node: the figure in the address, PNG files with the figure (read back
// by dorvanta-render as its figure), keys, the settings' checks and colours.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';
import { pathToFileURL } from 'node:url';

const webDir = process.env.DORVANTA_WEB_DIR;
const load = (name) => import(pathToFileURL(join(webDir, name)));
const { Core, Field, NavKey } = await load('core.js');
const { figureOfFragment, fragmentOf } = await load('fragment.js');
const { encodePng, parameterTextOfPng } = await load('png.js');
const { actionOfKey } = await load('keys.js');
const { colourOfHex, hexOfColour, readSettings, zoomStepsOfWheel } = await load('settings.js');

const dat = new Uint8Array(readFileSync(join(import.meta.dirname, '../fuzz/corpus/fuzz_dat/default.dat')));

test('the address holds the figure byte for byte, compressed and URL-safe', async () => {
    for (const fixed of [false, true]) {
        const fragment = await fragmentOf(dat, fixed);
        assert.match(fragment, /^#f=[A-Za-z0-9_-]+(&fixed)?$/);
        assert.ok(fragment.length < dat.length / 2);
        const back = await figureOfFragment(fragment);
        assert.deepEqual(back, { dat, fixedSize: fixed });
    }
    assert.equal(await figureOfFragment(''), null);
    assert.equal(await figureOfFragment('#other'), null);
});

test('a damaged address says what is wrong', async () => {
    const fragment = await fragmentOf(dat);
    for (const [bad, reason] of [[fragment.slice(0, 40), /damaged/], ['#f=abc$%', /characters/],
        ['#f=' + 'A'.repeat(70000), /too long/], ['#f=QUFBQUFB', /damaged/]]) {
        await assert.rejects(figureOfFragment(bad), reason);
    }
});

test('a PNG carries the figure as the desktop writes it and dorvanta-render paints it', async () => {
    const core = await Core.load(readFileSync(join(webDir, 'dorvanta.wasm')));
    core.reset();
    core.set(Field.width, 161);
    core.set(Field.height, 97);
    core.set(Field.un, 1500);
    assert.ok(core.paint(-1));
    const text = core.datBytes();
    const png = await encodePng(core.rgba().slice(), 161, 97, text);
    assert.deepEqual(await parameterTextOfPng(png), text);
    const dir = mkdtempSync(join(tmpdir(), 'dorvanta-png-'));
    try {
        writeFileSync(join(dir, 'web.png'), png);
        // The PNG opens as its figure: painted again at its size, the same bytes.
        execFileSync(process.env.DORVANTA_RENDER, ['--quiet', join(dir, 'web.png'), '-o', join(dir, 'again.bmp'), '--save-dat', join(dir, 'again.dat')]);
        const bmp = readFileSync(join(dir, 'again.bmp'));
        assert.ok(Buffer.from(core.rows()).equals(bmp.subarray(bmp.readUInt32LE(10))));
        assert.ok(readFileSync(join(dir, 'again.dat')).equals(Buffer.from(text)));
        // And as a picture: the native reader gives the painted pixels back.
        execFileSync(process.env.DORVANTA_RENDER, ['--quiet', join(dir, 'web.png'), '-o', join(dir, 'same.png')]);
        assert.deepEqual(await parameterTextOfPng(new Uint8Array(readFileSync(join(dir, 'same.png')))), text);
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
    assert.equal(await parameterTextOfPng(await encodePng(new Uint8Array(4), 1, 1, new Uint8Array())), null);
});

test('broken PNG files are refused with a reason', async () => {
    const good = await encodePng(new Uint8Array(16).fill(200), 2, 2, dat);
    await assert.rejects(parameterTextOfPng(new Uint8Array([1, 2, 3])), /no PNG/);
    await assert.rejects(parameterTextOfPng(good.slice(0, 60)), /cut short|damaged/);
    const damaged = good.slice();
    damaged.fill(0, 80, 120);  // inside the compressed figure
    await assert.rejects(parameterTextOfPng(damaged), /damaged|cut short/);
});

test('keys map to the view actions of the desktop', () => {
    const table = [
        [{ key: 'ArrowLeft' }, { kind: 'navigate', key: NavKey.Left, ctrl: false, shift: false }],
        [{ key: 'PageUp', ctrlKey: true }, { kind: 'navigate', key: NavKey.PageUp, ctrl: true, shift: false }],
        [{ key: 'PageDown', shiftKey: true }, { kind: 'navigate', key: NavKey.PageDown, ctrl: false, shift: true }],
        [{ key: 'Home', ctrlKey: true }, { kind: 'navigate', key: NavKey.Home, ctrl: true, shift: false }],
        [{ key: 'Tab' }, { kind: 'mode' }],
        [{ key: 'Tab', shiftKey: true }, null],
        [{ key: '7' }, { kind: 'order', order: 7 }],
        [{ key: 'Enter' }, { kind: 'settings' }],
        [{ key: 'Escape' }, { kind: 'offsets' }],
        [{ key: 'ArrowUp', altKey: true }, null],
        // The browser keeps Ctrl+Page Up/Down for its tabs: Alt stands in for Ctrl there.
        [{ key: 'PageUp', altKey: true }, { kind: 'navigate', key: NavKey.PageUp, ctrl: true, shift: false }],
        [{ key: 'PageDown', altKey: true, shiftKey: true }, { kind: 'navigate', key: NavKey.PageDown, ctrl: true, shift: true }],
        [{ key: 'PageDown', altKey: true, metaKey: true }, null],
        [{ key: 'x' }, null],
        [{ key: 'Q', shiftKey: true }, { kind: 'random' }],
        [{ key: 'q' }, { kind: 'random' }],
        [{ key: 'q', ctrlKey: true }, null],
    ];
    for (const [event, action] of table) assert.deepEqual(actionOfKey(event), action, JSON.stringify(event));
});

test('the settings are checked as the dialog checks them', () => {
    const form = {
        centreX: '1.5', centreY: '-2', magnExp: '-7', un: '1000', gs: '1618', currentOrder: '3',
        width: '640', height: '480', comment: 'A', name: 'fig',
    };
    for (let o = 0; o < 10; ++o) form[`transparency${o}`] = '0.5';
    const read = (values, follow = false) => readSettings((n) => values[n], (n) => (n === 'follow' ? follow : false));
    const good = read(form);
    assert.equal(good.error, undefined);
    assert.deepEqual(good.fields.slice(0, 6), [[Field.centreX, 1.5], [Field.centreY, -2], [Field.magnExp, -7],
        [Field.un, 1000], [Field.gs, 1618], [Field.currentOrder, 3]]);
    assert.ok(good.fields.some(([f, v]) => f === Field.width && v === 640));
    assert.equal(read(form, true).fields.some(([f]) => f === Field.width), false);
    for (const [name, value, field] of [['un', '2147483648', 'un'], ['centreX', 'NaN', 'centreX'],
        ['magnExp', '1e9', 'magnExp'], ['width', '0', 'width'], ['height', '1.5', 'height'],
        ['width', '16384', 'width'], ['transparency4', '1.2', 'transparency4'], ['currentOrder', '10', 'currentOrder'],
        ['gs', '', 'gs'], ['name', 'a/b', 'name']]) {
        const bad = read({ ...form, [name]: value, ...(name === 'width' && value === '16384' ? { height: '16384' } : {}) });
        assert.equal(bad.field, field, `${name}=${value}`);
        assert.match(bad.error, /\S/);
    }
});

test('colours and wheel steps', () => {
    assert.equal(hexOfColour(0x0000ff), '#ff0000');
    assert.equal(hexOfColour(0x123456), '#563412');
    assert.equal(colourOfHex('#563412'), 0x123456);
    assert.equal(colourOfHex('bad'), 0);
    assert.equal(zoomStepsOfWheel(-100), 0.25);
    assert.equal(zoomStepsOfWheel(3, 1), -0.25);
    assert.equal(zoomStepsOfWheel(1e6), -4);
});
