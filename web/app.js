// The page: the figure on a canvas at device pixels, painted by the worker; keys, mouse, touch,
// the settings and colour panels, the figure in the address, opening and downloading files.
import { Field, OrderField } from './core.js';
import { figureOfFragment, fragmentOf } from './fragment.js';
import { actionOfKey } from './keys.js';
import { encodePng, parameterTextOfPng } from './png.js';
import { colourOfHex, hexOfColour, readSettings, zoomStepsOfWheel } from './settings.js';

const $ = (selector) => document.querySelector(selector);
const canvas = $('#figure');
const focusCanvas = $('#focus');
const context = canvas.getContext('2d');
// Started with the core and the first picture by index.html before this module loaded.
const start = window.dorvantaStart;
const worker = start.worker;

const kItemNames = ['Lines', 'Big pentagon', 'Big star', 'Small pentagon', 'Small star',
    'Reference line', 'Big solid pentagon', 'Small solid pentagon'];
const kLargestFile = 64 << 20;

let state = null;    // the figure and view as the worker last reported them
let picture = null;  // the last painting: rgba, width, height, dat
let fixedSize = false;
// Times in ms since the page was opened (the navigation's start); per picture, from the request
// to the picture on the canvas, and the worker's painting and copy within it.
const timings = { scriptStarted: performance.now(), firstPicture: null, keyToPicture: [], pictures: [] };

// ---- The worker: batches of actions, one at a time, the waiting ones merged ----------------

let waiting = [];
let waitingHistory = 'none';
let busy = false;
let nextId = 1;
const replies = new Map();
let keyPressedAt = null;

function act(action, history = 'push') {
    const last = waiting.at(-1);
    if (last && action.kind === last.kind && (action.kind === 'pan' || action.kind === 'size')) {
        waiting[waiting.length - 1] = action.kind === 'pan'
            ? { ...action, dx: last.dx + action.dx, dy: last.dy + action.dy } : action;
    } else if (last && action.kind === 'zoom' && last.kind === 'zoom' && last.x === action.x && last.y === action.y) {
        last.steps += action.steps;
    } else {
        waiting.push(action);
    }
    if (history === 'push' || waitingHistory === 'none') waitingHistory = history;
    flush();
}

function request(exportKind) {
    return new Promise((resolve) => {
        flush(exportKind, resolve);
    });
}

function flush(exportKind, resolve) {
    if (busy) {
        if (resolve) setTimeout(() => flush(exportKind, resolve), 10);
        return;
    }
    if (waiting.length === 0 && !exportKind) return;
    busy = true;
    const id = nextId++;
    replies.set(id, { resolve, history: waitingHistory, sentAt: performance.now() });
    worker.postMessage({ id, actions: waiting, export: exportKind });
    waiting = [];
    waitingHistory = 'none';
}

function onReply(reply) {
    busy = false;
    const { resolve, history, sentAt } = replies.get(reply.id);
    replies.delete(reply.id);
    show(reply, history, sentAt);
    resolve?.(reply);
    flush();
}
worker.onerror = (event) => {
    busy = false;
    showMessage(`The painting stopped: ${event.message ?? 'the worker failed'}. Reload the page to go on.`);
};

// ---- Showing what the worker made -------------------------------------------------------------

function show(reply, history, sentAt) {
    if (!timings.workerStarted) {
        timings.workerStarted = reply.startup.workerStarted - performance.timeOrigin;
        timings.coreReady = reply.startup.coreReady - performance.timeOrigin;
    }
    if ('fixedSize' in reply) fixedSize = reply.fixedSize;
    if (reply.picture) showPicture(reply.picture, sentAt);
    state = reply.state ?? state;
    drawFocusRects(reply.rects);
    if (state) {
        updatePanels();
        updateStatus();
    }
    if (reply.messages.length) showMessage(reply.messages.join('\n\n'));
    if (reply.picture && history !== 'none') storeInAddress(reply.picture.dat, history);
}

// The picture's buffer goes back to the worker when the next picture replaces it.
function showPicture(p, sentAt) {
    if (picture) worker.postMessage({ spare: picture.rgba.buffer }, [picture.rgba.buffer]);
    picture = p;
    for (const c of [canvas, focusCanvas]) {
        if (c.width !== p.width || c.height !== p.height) [c.width, c.height] = [p.width, p.height];
    }
    // index.html shows the first picture itself when it comes before this module.
    if (!p.shownAt) context.putImageData(new ImageData(p.rgba, p.width, p.height), 0, 0);
    canvas.style.transform = '';
    placeCanvas();
    const now = p.shownAt ?? performance.now();
    timings.pictures.push({ ms: now - sentAt, workerMs: p.workerMs, paintMs: p.paintMs, copyMs: p.copyMs,
        width: p.width, height: p.height });
    if (timings.firstPicture === null) {
        timings.firstPicture = now;
        afterFirstPicture();
    }
    if (keyPressedAt !== null) {
        timings.keyToPicture.push(now - keyPressedAt);
        keyPressedAt = null;
    }
    document.body.dataset.painted = String(Number(document.body.dataset.painted ?? 0) + 1);
}

// Fixed sizes are shown whole, scaled down when the window is smaller.
function placeCanvas() {
    for (const c of [canvas, focusCanvas]) {
        if (!fixedSize) {
            c.style.width = '100%';
            c.style.height = '100%';
            continue;
        }
        const dpr = window.devicePixelRatio || 1;
        const fit = Math.min(1, innerWidth / (canvas.width / dpr), innerHeight / (canvas.height / dpr));
        c.style.width = `${(canvas.width / dpr) * fit}px`;
        c.style.height = `${(canvas.height / dpr) * fit}px`;
    }
}

function drawFocusRects(rects) {
    const c = focusCanvas.getContext('2d');
    c.clearRect(0, 0, focusCanvas.width, focusCanvas.height);
    if (!rects) return;
    c.strokeStyle = '#ff0000';
    c.lineWidth = 1;
    for (const corners of rects) {
        c.beginPath();
        corners.forEach(([x, y], i) => (i ? c.lineTo(x + 0.5, y + 0.5) : c.moveTo(x + 0.5, y + 0.5)));
        c.closePath();
        c.stroke();
    }
}

function updateStatus() {
    const [mode, offsets, position] = state.status;
    $('#status-mode').textContent = mode;
    $('#status-offsets').textContent = offsets;
    $('#status-position').textContent = position;
}

let messageTimer = null;
function showMessage(text) {
    $('#message-text').textContent = text;
    $('#message').hidden = false;
    clearTimeout(messageTimer);
}
$('#message-close').addEventListener('click', () => {
    $('#message').hidden = true;
    canvas.focus();
});

// ---- The figure in the address ------------------------------------------------------------------

let lastPush = 0;
async function storeInAddress(dat, history) {
    const fragment = await fragmentOf(dat, fixedSize);
    if (fragment === location.hash) return;
    const now = performance.now();
    // A burst of keys makes one step of the history, not one per key.
    if (history === 'push' && now - lastPush > 600) {
        window.history.pushState(null, '', fragment);
    } else {
        window.history.replaceState(null, '', fragment);
    }
    if (history === 'push') lastPush = now;
}

async function openFromAddress(history) {
    let figure = null;
    try {
        figure = await figureOfFragment(location.hash);
    } catch (error) {
        showMessage(`This link holds no figure that can be painted: ${error.message}. The figure stays.`);
        if (!picture) act({ kind: 'reset' }, 'none');
        return;
    }
    fixedSize = figure?.fixedSize ?? false;
    $('#settings-form').elements.follow.checked = !fixedSize;
    act(figure ? { kind: 'load', dat: figure.dat } : { kind: 'reset' }, history);
    if (!fixedSize) act(windowSize(), history);
}

window.addEventListener('popstate', () => openFromAddress('none'));

// ---- Size -------------------------------------------------------------------------------------

function windowSize() {
    const dpr = window.devicePixelRatio || 1;
    const stage = $('#stage');
    return { kind: 'size', width: Math.max(1, Math.round(stage.clientWidth * dpr)),
        height: Math.max(1, Math.round(stage.clientHeight * dpr)) };
}

let resizeTimer = null;
new ResizeObserver(() => {
    if (fixedSize) {
        placeCanvas();
        return;
    }
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(() => {
        const size = windowSize();
        // The observer also reports the first layout: the picture has that size already.
        if (picture && (size.width !== picture.width || size.height !== picture.height)) act(size, 'replace');
    }, 80);
}).observe($('#stage'));

// ---- Keys -------------------------------------------------------------------------------------

function typingInto(target) {
    return target.closest?.('input, textarea, select, button, summary, dialog, .panel, #toolbar');
}

document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape' && !$('#message').hidden) {
        $('#message').hidden = true;
        return;
    }
    if (typingInto(event.target)) {
        if (event.key === 'Escape') closePanels();
        return;
    }
    const action = actionOfKey(event);
    if (!action) return;
    event.preventDefault();
    if (action.kind === 'settings') {
        openPanel('settings');
        return;
    }
    keyPressedAt = performance.now();
    if (action.kind === 'navigate') act({ kind: 'navigate', key: action.key, ctrl: action.ctrl, shift: action.shift });
    if (action.kind === 'mode') act({ kind: 'mode' });
    if (action.kind === 'offsets') act({ kind: 'offsets' });
    if (action.kind === 'order') act({ kind: 'order', order: action.order });
    if (action.kind === 'random') act({ kind: 'random' });
});

// ---- Mouse and touch ----------------------------------------------------------------------------

function picturePixel(event, box = canvas.getBoundingClientRect()) {
    return { x: Math.floor(((event.clientX - box.left) * canvas.width) / box.width),
        y: Math.floor(((event.clientY - box.top) * canvas.height) / box.height) };
}

function pixelsPerCss() {
    return canvas.width / canvas.getBoundingClientRect().width;
}

const pointers = new Map();
let gesture = null;

canvas.addEventListener('pointerdown', (event) => {
    if (event.button !== 0) return;
    canvas.setPointerCapture(event.pointerId);
    pointers.set(event.pointerId, { x: event.clientX, y: event.clientY });
    // The canvas's box before the gesture's preview transform moves it.
    const box = gesture?.box ?? canvas.getBoundingClientRect();
    gesture = { start: new Map([...pointers].map(([id, p]) => [id, { ...p }])), moved: false, box };
});

canvas.addEventListener('pointermove', (event) => {
    if (!gesture || !pointers.has(event.pointerId)) return;
    pointers.set(event.pointerId, { x: event.clientX, y: event.clientY });
    const [a, b] = [...pointers.values()];
    const [a0, b0] = [...gesture.start.values()];
    if (b && b0) {
        const ratio = Math.hypot(a.x - b.x, a.y - b.y) / Math.max(1, Math.hypot(a0.x - b0.x, a0.y - b0.y));
        const mid = { x: (a.x + b.x) / 2, y: (a.y + b.y) / 2 };
        gesture = { ...gesture, moved: true, pinch: { ratio, mid } };
        canvas.style.transformOrigin = `${mid.x - gesture.box.left}px ${mid.y - gesture.box.top}px`;
        canvas.style.transform = `scale(${ratio})`;
        return;
    }
    // After a pinch the last finger to leave does not pan.
    if (!a0 || gesture.pinch) return;
    const dx = a.x - a0.x, dy = a.y - a0.y;
    if (!gesture.moved && Math.hypot(dx, dy) < 4) return;
    gesture.moved = true;
    gesture.pan = { dx, dy };
    canvas.style.transform = `translate(${dx}px, ${dy}px)`;
});

function endGesture(event) {
    if (!gesture || !pointers.has(event.pointerId)) return;
    pointers.delete(event.pointerId);
    if (pointers.size > 0) return;
    const g = gesture;
    gesture = null;
    if (g.pinch && g.pinch.ratio > 0) {
        const p = picturePixel({ clientX: g.pinch.mid.x, clientY: g.pinch.mid.y }, g.box);
        act({ kind: 'zoom', x: p.x, y: p.y, steps: Math.log2(g.pinch.ratio) });
    } else if (g.pan) {
        const scale = pixelsPerCss();
        act({ kind: 'pan', dx: Math.round(g.pan.dx * scale), dy: Math.round(g.pan.dy * scale) });
    } else if (!g.moved && state?.mode === 0) {
        act({ kind: 'click', ...picturePixel(event) }, 'none');
    }
}
canvas.addEventListener('pointerup', endGesture);
canvas.addEventListener('pointercancel', (event) => {
    canvas.style.transform = '';
    endGesture(event);
});

canvas.addEventListener('dblclick', (event) => act({ kind: 'centre', ...picturePixel(event) }));

canvas.addEventListener('wheel', (event) => {
    event.preventDefault();
    const steps = zoomStepsOfWheel(event.deltaY, event.deltaMode);
    if (steps !== 0) act({ kind: 'zoom', ...picturePixel(event), steps });
}, { passive: false });

canvas.addEventListener('contextmenu', async (event) => {
    event.preventDefault();
    const at = picturePixel(event);
    if (await confirmText('Move the reference point to this position?')) act({ kind: 'reference', ...at });
});

function confirmText(text) {
    const dialog = $('#confirm');
    $('#confirm-text').textContent = text;
    dialog.showModal();
    return new Promise((resolve) => {
        dialog.addEventListener('close', () => {
            resolve(dialog.returnValue === 'ok');
            canvas.focus();
        }, { once: true });
    });
}

// ---- Panels -------------------------------------------------------------------------------------

const panels = { settings: $('#settings-button'), colours: $('#colours-button'), help: $('#help-button') };

function openPanel(name, open = true) {
    buildPanels();
    for (const [other, button] of Object.entries(panels)) {
        const shown = other === name && open;
        $(`#${other}`).hidden = !shown;
        button.setAttribute('aria-expanded', String(shown));
    }
    if (open) {
        updatePanels(true);
        $(`#${name}`).querySelector('input, select, button')?.focus();
    }
}

function closePanels() {
    for (const name of Object.keys(panels)) openPanel(name, false);
    canvas.focus();
}

for (const [name, button] of Object.entries(panels)) {
    button.addEventListener('click', () => openPanel(name, $(`#${name}`).hidden));
}

let panelsBuilt = false;
function buildPanels() {
    if (panelsBuilt) return;
    panelsBuilt = true;
    const items = $('#draw-items');
    kItemNames.forEach((label, i) => {
        items.insertAdjacentHTML('beforeend', `<label><input type="checkbox" name="item${i}"> Draw ${label}</label>`);
    });
    const orders = $('#draw-orders');
    for (let order = 9; order >= 0; --order) {
        orders.insertAdjacentHTML('beforeend', `<div class="order-row"><label><input type="checkbox" name="draw${order}"> Order ${order}</label>
            <label>Transparency <input name="transparency${order}" inputmode="decimal" autocomplete="off" size="6"></label></div>`);
    }
    const table = $('#colour-table');
    let head = '<thead><tr><th scope="col">Item</th>';
    for (let order = 0; order < 10; ++order) {
        head += `<th scope="col"><label><input type="checkbox" data-order="${order}" data-field="${OrderField.drawOrder}"> ${order}</label></th>`;
    }
    let body = '</tr></thead><tbody>';
    kItemNames.forEach((label, item) => {
        body += `<tr><th scope="row">${label}</th>`;
        for (let order = 0; order < 10; ++order) {
            body += `<td><input type="checkbox" data-order="${order}" data-field="${item}" aria-label="${label}, order ${order}">` +
                `<input type="color" data-entry="${10 * order + item + 2}" aria-label="Colour of ${label.toLowerCase()}, order ${order}"></td>`;
        }
        body += '</tr>';
    });
    body += '<tr><th scope="row">Transparency</th>';
    for (let order = 0; order < 10; ++order) {
        body += `<td><input type="range" min="0" max="1" step="0.01" data-order="${order}" data-field="${OrderField.transparency}" aria-label="Transparency, order ${order}"></td>`;
    }
    body += '</tr>';
    for (let family = 0; family < 5; ++family) {
        body += `<tr><th scope="row">Line family ${family + 1}</th>`;
        for (let order = 0; order < 10; ++order) {
            body += `<td><input type="checkbox" data-order="${order}" data-field="${8 + family}" aria-label="Line family ${family + 1}, order ${order}"></td>`;
        }
        body += '</tr>';
    }
    table.insertAdjacentHTML('beforeend', head + body + '</tbody>');
}

// Fills the panels from the state (closed ones wait until they open); a field being edited keeps
// what is typed.
function updatePanels(force = false) {
    if (!state || !panelsBuilt || (!force && $('#settings').hidden && $('#colours').hidden)) return;
    const form = $('#settings-form').elements;
    if (!$('#settings').hidden && !force && $('#settings').contains(document.activeElement)) return;
    const f = state.fields;
    const set = (name, value) => {
        if (form[name] && form[name] !== document.activeElement) form[name].value = value;
    };
    set('name', state.name);
    set('comment', state.comment);
    for (const name of ['width', 'height', 'centreX', 'centreY', 'magnExp', 'un', 'gs']) set(name, String(f[name]));
    form.currentOrder.value = String(f.currentOrder);
    form.gradient.checked = f.gradient !== 0;
    form.follow.checked = !fixedSize;
    form.preset.value = [...form.preset.options].some((o) => o.value === `${f.width} x ${f.height}`) ? `${f.width} x ${f.height}` : '';
    const current = state.orders[f.currentOrder];
    current.items.forEach((on, i) => (form[`item${i}`].checked = on));
    state.orders.forEach((o, order) => {
        form[`draw${order}`].checked = o.drawOrder;
        set(`transparency${order}`, String(o.transparency));
    });
    for (const input of document.querySelectorAll('#colours [data-order]')) {
        const o = state.orders[Number(input.dataset.order)];
        const field = Number(input.dataset.field);
        if (field < 8) input.checked = o.items[field];
        else if (field < 13) input.checked = o.lines[field - 8];
        else if (field === OrderField.drawOrder) input.checked = o.drawOrder;
        else input.value = String(o.transparency);
    }
    for (const input of document.querySelectorAll('#colours [data-entry]')) {
        input.value = hexOfColour(state.colours[Number(input.dataset.entry)]);
    }
    $('#gradient').checked = f.gradient !== 0;
    $('#background').value = hexOfColour(state.colours[1]);
}

function submitSettings(oneOrder) {
    const form = $('#settings-form').elements;
    const read = readSettings((name) => form[name].value, (name) => form[name].checked);
    if (read.error) {
        showMessage(read.error);
        form[read.field]?.focus();
        return;
    }
    fixedSize = !form.follow.checked;
    const { fields, texts, orders } = read;
    if (!fixedSize) {
        const size = windowSize();
        fields.push([Field.width, size.width], [Field.height, size.height]);
    }
    act({ kind: 'settings', fields, texts, orders });
    if (oneOrder) act({ kind: 'order', order: Number(form.currentOrder.value) });
}

$('#settings-form').addEventListener('submit', (event) => {
    event.preventDefault();
    submitSettings(false);
});
$('#draw-one').addEventListener('click', () => submitSettings(true));
$('#settings-cancel').addEventListener('click', () => {
    updatePanels(true);
    closePanels();
});
$('#defaults').addEventListener('click', () => {
    act({ kind: 'reset' });
    if (!fixedSize) act(windowSize());
});
$('#settings-form').elements.currentOrder.addEventListener('change', (event) => {
    act({ kind: 'settings', fields: [[Field.currentOrder, Number(event.target.value)]], repaint: false }, 'none');
});
$('#settings-form').elements.preset.addEventListener('change', (event) => {
    const match = /^(\d+) x (\d+)$/.exec(event.target.value);
    if (!match) return;
    const form = $('#settings-form').elements;
    [form.width.value, form.height.value, form.follow.checked] = [match[1], match[2], false];
});
$('#gs-from-un').addEventListener('click', () => {
    const form = $('#settings-form').elements;
    form.gs.value = String(Math.floor(Number(form.un.value) * 1.618033988749895 + 0.5));
});
$('#un-from-gs').addEventListener('click', () => {
    const form = $('#settings-form').elements;
    form.un.value = String(Math.floor(Number(form.gs.value) / 1.618033988749895 + 0.5));
});

$('#colours').addEventListener('change', (event) => {
    const input = event.target;
    if (input.dataset.entry) {
        act({ kind: 'settings', colours: [[Number(input.dataset.entry), colourOfHex(input.value)]] });
    } else if (input.dataset.order) {
        const value = input.type === 'checkbox' ? Number(input.checked) : Number(input.value);
        act({ kind: 'settings', orders: [[Number(input.dataset.order), Number(input.dataset.field), value]] });
    } else if (input.id === 'gradient') {
        act({ kind: 'settings', fields: [[Field.gradient, Number(input.checked)]] });
    } else if (input.id === 'background') {
        act({ kind: 'settings', colours: [[1, colourOfHex(input.value)]] });
    }
});

// As on the desktop's colour page: the wheel over a colour changes one channel by 10 (red, green
// or blue by the third of the swatch under the pointer), over a transparency slider the
// transparency by 0.1; a colour dragged onto another swatch is copied there.
$('#colours').addEventListener('wheel', (event) => {
    const input = event.target;
    const step = event.deltaY < 0 ? 1 : -1;
    if (input.dataset?.entry) {
        const box = input.getBoundingClientRect();
        const channel = Math.min(2, Math.max(0, Math.floor((3 * (event.clientX - box.left)) / box.width)));
        const colour = colourOfHex(input.value);
        const value = Math.min(255, Math.max(0, ((colour >> (8 * channel)) & 0xff) + 10 * step));
        input.value = hexOfColour((colour & ~(0xff << (8 * channel))) | (value << (8 * channel)));
    } else if (input.type === 'range') {
        input.value = String(Math.min(1, Math.max(0, Math.round((Number(input.value) + 0.1 * step) * 100) / 100)));
    } else {
        return;
    }
    event.preventDefault();
    input.dispatchEvent(new Event('change', { bubbles: true }));
}, { passive: false });

let draggedColour = null;
$('#colours').addEventListener('pointerdown', (event) => {
    draggedColour = event.target.dataset?.entry ? event.target : null;
});
document.addEventListener('pointerup', (event) => {
    const from = draggedColour;
    draggedColour = null;
    const to = document.elementFromPoint(event.clientX, event.clientY)?.closest?.('#colours [data-entry]');
    if (!from || !to || to === from) return;
    to.value = from.value;
    to.dispatchEvent(new Event('change', { bubbles: true }));
});

// ---- Files --------------------------------------------------------------------------------------

async function openFile(file) {
    if (file.size > kLargestFile) {
        showMessage(`${file.name} is too large for a figure (${file.size} bytes). The figure stays.`);
        return;
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    let dat = bytes;
    const isPng = bytes[0] === 137 && bytes[1] === 80;
    if (isPng || /\.png$/i.test(file.name)) {
        try {
            dat = await parameterTextOfPng(bytes);
        } catch (error) {
            showMessage(`Cannot open ${file.name}: ${error.message}. The figure stays.`);
            return;
        }
        if (!dat) {
            showMessage(`${file.name} is a picture without a Dorvanta figure in it. The figure stays.`);
            return;
        }
    }
    act({ kind: 'load', dat });
    if (!fixedSize) act(windowSize());
}

$('#open-file').addEventListener('change', (event) => {
    const [file] = event.target.files;
    if (file) openFile(file);
    event.target.value = '';
});
window.addEventListener('dragover', (event) => event.preventDefault());
window.addEventListener('drop', (event) => {
    event.preventDefault();
    const [file] = event.dataTransfer.files;
    if (file) openFile(file);
});

function baseName() {
    return (state?.name || 'dorvanta').replace(/[\\/:*?"<>|]/g, '_');
}

function download(bytes, name, type) {
    const url = URL.createObjectURL(new Blob([bytes], { type }));
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 10000);
}

const kDownloads = {
    dat: ['.dat', 'application/x-dorvanta-dat'],
    svg: ['.svg', 'image/svg+xml'],
    plotter: ['-plotter.svg', 'image/svg+xml'],
    pov: ['.pov', 'text/plain'],
};

for (const button of document.querySelectorAll('[data-download]')) {
    button.addEventListener('click', async () => {
        const kind = button.dataset.download;
        $('#downloads').open = false;
        if (kind === 'png') {
            if (!picture) return;
            // A copy: the buffer goes back to the worker when a new picture comes meanwhile.
            const { rgba, width, height, dat } = picture;
            download(await encodePng(rgba.slice(), width, height, dat), `${baseName()}.png`, 'image/png');
            return;
        }
        const reply = await request(kind);
        if (reply.file) download(reply.file, baseName() + kDownloads[kind][0], kDownloads[kind][1]);
    });
}

$('#share').addEventListener('click', async () => {
    try {
        await navigator.clipboard.writeText(location.href);
        showMessage('The link to this figure is on the clipboard.');
    } catch {
        showMessage(`Copy this link to share the figure: ${location.href}`);
    }
});

// ---- Start ------------------------------------------------------------------------------------

// The random colours draw from a generator seeded once: with ?seed=N in the address (so that a
// colouring can be repeated and checked), else with the second the page opened.
function randomSeed() {
    const given = /^\d+$/.exec(new URLSearchParams(location.search).get('seed') ?? '');
    return given ? Number(given[0]) >>> 0 : Math.floor(Date.now() / 1000) >>> 0;
}

const seed = randomSeed();
waiting.push({ kind: 'seed', seed });
window.dorvanta = { timings, seed, state: () => state };
// index.html asked for the first picture (request 0); its replies so far are taken over here.
busy = true;
replies.set(0, { history: 'replace', sentAt: start.sentAt });
worker.onmessage = ({ data }) => onReply(data);
start.replies.splice(0).forEach(onReply);
canvas.focus();

// What the first picture need not wait for: the offline copy (its install fetches every file).
function afterFirstPicture() {
    if (!('serviceWorker' in navigator) || location.protocol === 'file:') return;
    setTimeout(() => navigator.serviceWorker.register('sw.js').catch(() => {}), 0);
}
