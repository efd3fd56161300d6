// The WebAssembly core against the native program: the same pictures to the byte, the same
// parameter, SVG and POV-Ray texts. DORVANTA_RENDER names dorvanta-render, DORVANTA_WEB_DIR the
// built page (dorvanta.wasm beside core.js).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { pathToFileURL } from 'node:url';

const render = process.env.DORVANTA_RENDER;
const webDir = process.env.DORVANTA_WEB_DIR;
const { Core, Field, NavKey, OrderField } = await import(pathToFileURL(join(webDir, 'core.js')));

let core;
let dir;
before(async () => {
    core = await Core.load(readFileSync(join(webDir, 'dorvanta.wasm')));
    dir = mkdtempSync(join(tmpdir(), 'dorvanta-web-'));
});
after(() => rmSync(dir, { recursive: true, force: true }));

// The views the painting tests use: the default figure, every item on, deep zooms, far out (a
// short series), a single order, odd sizes.
const views = [
    { name: 'default', width: 1200, height: 900 },
    { name: 'every item', width: 320, height: 240, everything: true },
    { name: 'deep zoom', width: 240, height: 180, exp: 9, x: 3000, y: 2000, everything: true },
    { name: 'deep zoom at the origin', width: 200, height: 150, exp: 12, everything: true },
    { name: 'far out', width: 160, height: 120, exp: -12, everything: true, letters: 1000 },
    { name: 'single order', width: 256, height: 192, exp: -6, x: 30, y: -20, order: 2, everything: true },
    { name: 'odd size', width: 301, height: 199, exp: -6.25, x: -11.5, y: 7.25 },
    { name: 'one pixel', width: 1, height: 1 },
    { name: 'thin', width: 7, height: 333, exp: -4, un: 1234, gs: 1997 },
];

function setUp(view) {
    core.reset();
    core.set(Field.width, view.width);
    core.set(Field.height, view.height);
    if (view.exp !== undefined) core.set(Field.magnExp, view.exp);
    if (view.x !== undefined) core.set(Field.centreX, view.x);
    if (view.y !== undefined) core.set(Field.centreY, view.y);
    if (view.un !== undefined) core.set(Field.un, view.un);
    if (view.gs !== undefined) core.set(Field.gs, view.gs);
    if (view.everything) {
        for (let order = 0; order < 10; ++order) {
            for (let item = 0; item < 8; ++item) core.setOrderField(order, item, 1);
            core.setOrderField(order, OrderField.transparency, 0.3);
        }
        core.set(Field.gradient, 1);
        const series = core.text(0);
        core.setText(0, series.slice(0, 1340) + 'R' + series.slice(1340));
    }
    if (view.letters) core.setText(0, core.text(0).slice(0, view.letters));
}

function run(...args) {
    return execFileSync(render, ['--quiet', ...args], { stdio: ['ignore', 'pipe', 'pipe'] });
}

// The pixel rows of a 24-bit BMP file, as the picture block holds them.
function bmpRows(path) {
    const bytes = readFileSync(path);
    return bytes.subarray(bytes.readUInt32LE(10));
}

for (const view of views) {
    test(`${view.name}: the same picture and texts as dorvanta-render`, () => {
        setUp(view);
        const dat = core.datBytes();
        const datPath = join(dir, 'figure.dat');
        writeFileSync(datPath, dat);
        const order = view.order ?? -1;
        const orderArgs = ['--size', `${view.width}x${view.height}`, ...(order >= 0 ? ['--order', String(order)] : [])];
        const bmp = join(dir, 'figure.bmp');
        const pov = join(dir, 'figure.pov');
        const saved = join(dir, 'saved.dat');
        run(datPath, '-o', bmp, '--threads', '1', '--save-dat', saved, '--pov', pov, '--pov-header', ...orderArgs);

        assert.ok(core.paint(order));
        assert.ok(Buffer.from(core.rows()).equals(bmpRows(bmp)), 'picture bytes differ');
        assert.equal(Buffer.from(core.pov(true)).toString(), readFileSync(pov, 'latin1'));

        // The text the program saves after painting reads back to the same text here.
        assert.ok(core.loadDat(readFileSync(saved)));
        assert.ok(Buffer.from(core.datBytes()).equals(readFileSync(saved)));

        // As dorvanta-render does: the SVG of the painted figure.
        setUp(view);
        core.paint(order);
        for (const plotter of [false, true]) {
            const svg = join(dir, plotter ? 'pen.svg' : 'figure.svg');
            run(datPath, '-o', svg, ...orderArgs, ...(plotter ? ['--plotter'] : []));
            assert.equal(core.svg({ plotter, order }), readFileSync(svg, 'utf8'), `plotter ${plotter}`);
        }
    });
}

test('a scene without header and an SVG of a physical width match too', () => {
    setUp(views[1]);
    const datPath = join(dir, 'plain.dat');
    writeFileSync(datPath, core.datBytes());
    const pov = join(dir, 'plain.pov');
    const svg = join(dir, 'wide.svg');
    run(datPath, '-o', join(dir, 'plain.bmp'), '--size', '320x240', '--pov', pov);
    run(datPath, '-o', svg, '--size', '320x240', '--svg-width', '400mm');
    assert.ok(core.paint(-1));
    assert.equal(core.pov(false), readFileSync(pov, 'latin1'));
    setUp(views[1]);
    core.paint(-1);
    assert.equal(core.svg({ widthMm: 400 }), readFileSync(svg, 'utf8'));
});

test('a text that is no figure leaves the figure and says why', () => {
    core.reset();
    core.set(Field.un, 77);
    const before = Buffer.from(core.datBytes());
    assert.equal(core.loadDat(new TextEncoder().encode('not a figure at all')), false);
    assert.match(core.messages(), /\S/);
    assert.ok(Buffer.from(core.datBytes()).equals(before));
});

test('absurd sizes are refused before any painting', () => {
    for (const [width, height] of [[0, 10], [10, -3], [100000, 10], [16384, 16384]]) {
        core.reset();
        core.set(Field.width, width);
        core.set(Field.height, height);
        assert.equal(core.paint(-1), false, `${width} x ${height}`);
        assert.match(core.messages(), /cannot be painted/);
    }
});

test('keys move as the desktop view moves them', () => {
    core.reset();
    core.set(Field.width, 200);
    core.set(Field.height, 150);
    core.paint(-1);
    const un = core.get(Field.un), exp = core.get(Field.magnExp);
    assert.equal(core.key(NavKey.Right, { mode: 1 }), -1);
    assert.equal(core.key(NavKey.Right, { mode: 1, ctrl: true }), -1);
    assert.equal(core.get(Field.un), un + 11);
    core.key(NavKey.PageUp, { mode: 1 });
    assert.equal(core.get(Field.magnExp), exp - 1);
    // Ctrl+Page Down: the next lower order alone.
    core.set(Field.currentOrder, 3);
    assert.equal(core.key(NavKey.PageDown, { mode: 1, ctrl: true }), 2);
    // Arrow mode 0 only moves the pending centre; Home drops it again.
    const x = core.get(Field.centreX);
    assert.equal(core.key(NavKey.Left, { mode: 0 }), -2);
    assert.ok(core.get(Field.centreX) < x);
    const rects = core.focusRects();
    assert.equal(rects.length, 4);
    core.key(NavKey.Home, { mode: 0 });
    assert.equal(core.get(Field.centreX), x);
    // The top left pixel lies left of and above the centre.
    const y = core.get(Field.centreY);
    assert.deepEqual(core.figurePointAt(100, 75), [x, y]);
    core.centreAt(0, 0);
    assert.ok(core.get(Field.centreX) < x && core.get(Field.centreY) > y);
    assert.match(core.status(1).join('|'), /\S/);
});

test('Q colours as the desktop does from the same random numbers', () => {
    const colouring = process.env.DORVANTA_RANDOM_COLOURS;
    for (const [seed, presses, view] of [[1234, 1, views[0]], [4000000000, 3, views[6]], [7, 2, views[5]]]) {
        setUp(view);
        const datPath = join(dir, 'plain.dat');
        writeFileSync(datPath, core.datBytes());
        const before = Buffer.from(core.datBytes());
        core.seedRandom(seed);
        for (let n = 0; n < presses; ++n) core.randomColours();
        const coloured = join(dir, 'coloured.dat');
        execFileSync(colouring, [String(seed), String(presses), datPath, coloured]);
        const mine = Buffer.from(core.datBytes());
        assert.ok(!mine.equals(before), `seed ${seed}: nothing changed`);
        assert.ok(mine.equals(readFileSync(coloured)), `seed ${seed}: another figure`);

        const bmp = join(dir, 'coloured.bmp');
        run(coloured, '-o', bmp, '--threads', '1', '--size', `${view.width}x${view.height}`);
        assert.ok(core.paint(-1));
        assert.ok(Buffer.from(core.rows()).equals(bmpRows(bmp)), `seed ${seed}: picture bytes differ`);
    }
});
