// The painting worker: holds the figure core and the view's state (arrow mode, one order alone),
// applies a batch of the page's actions and paints once at the end, so that the page never
// waits and a burst of keys costs one painting.
import { Core, Field, OrderField } from './core.js';

// Moments of the start, in ms on the page's clock, for the page's timings.
const startup = { workerStarted: performance.timeOrigin + performance.now() };
// The page compiles the core and sends it as the first message.
let compiled;
const ready = new Promise((resolve, reject) => {
    compiled = { resolve, reject };
}).then((module) => Core.load(module)).then((core) => {
    startup.coreReady = performance.timeOrigin + performance.now();
    return core;
});
const view = { mode: 1, onlyOne: false };
// Buffers of earlier pictures the page handed back: a new buffer of some megabytes costs more than
// the painting (every page of it is faulted in), a reused one only the copy.
const spareBuffers = [];

// What each action does; returns the order to paint (−1 all, 0..9 one) or undefined.
const actions = {
    // The page's opening: the figure of the address (the default one when it holds none or a
    // damaged one) at the window's size unless the address fixes its size.
    async start(core, a, reply) {
        let figure = null;
        try {
            // Only a link with a figure waits for the module that reads it.
            if (a.fragment.startsWith('#f=')) figure = await (await import('./fragment.js')).figureOfFragment(a.fragment);
        } catch (error) {
            message(`This link holds no figure that can be painted: ${error.message}. The figure stays.`);
        }
        if (figure && !core.loadDat(figure.dat)) figure = null;
        reply.fixedSize = figure?.fixedSize ?? false;
        if (!reply.fixedSize) actions.size(core, a);
        return -1;
    },
    load(core, a) {
        if (!core.loadDat(a.dat)) return undefined;
        view.onlyOne = false;
        return -1;
    },
    reset(core) {
        core.reset();
        view.onlyOne = false;
        return -1;
    },
    size(core, a) {
        core.set(Field.width, a.width);
        core.set(Field.height, a.height);
        return paintedOrder(core);
    },
    settings(core, a) {
        for (const [field, value] of a.fields ?? []) core.set(field, value);
        for (const [field, text] of a.texts ?? []) {
            if (!core.setText(field, text)) message(`"${text}" holds a character a parameter file cannot hold.`);
        }
        for (const [order, field, value] of a.orders ?? []) core.setOrderField(order, field, value);
        for (const [entry, colour] of a.colours ?? []) core.setColour(entry, colour);
        if (a.repaint === false) return undefined;
        return paintedOrder(core);
    },
    navigate(core, a) {
        const order = core.key(a.key, { ctrl: a.ctrl, shift: a.shift, mode: view.mode, onlyOne: view.onlyOne });
        if (order === -2) return undefined;
        view.onlyOne = order >= 0;
        return order;
    },
    seed(core, a) {
        core.seedRandom(a.seed);
        return undefined;
    },
    // Q: the desktop's random colouring, painted with every drawn order.
    random(core) {
        core.randomColours();
        view.onlyOne = false;
        return -1;
    },
    mode(core) {
        view.mode = (view.mode + 1) % 2;
        return undefined;
    },
    offsets() {
        view.mode = 1;
        return undefined;
    },
    order(core, a) {
        core.set(Field.currentOrder, a.order);
        view.onlyOne = true;
        return a.order;
    },
    // A click in the centre mode moves the pending centre only.
    click(core, a) {
        if (view.mode === 0) core.centreAt(a.x, a.y);
        return undefined;
    },
    centre(core, a) {
        core.centreAt(a.x, a.y);
        return paintedOrder(core);
    },
    reference(core, a) {
        core.referenceAt(a.x, a.y);
        view.onlyOne = false;
        return -1;
    },
    // Drag: the point under (x, y) goes to (x + dx, y + dy).
    pan(core, a) {
        const [x, y] = core.figurePointAt(Math.round(core.get(Field.width) / 2 - a.dx),
            Math.round(core.get(Field.height) / 2 - a.dy));
        core.set(Field.centreX, x);
        core.set(Field.centreY, y);
        return paintedOrder(core);
    },
    // Wheel and pinch: magnification by 2^steps, the point under (x, y) staying in place.
    zoom(core, a) {
        const [fx, fy] = core.figurePointAt(a.x, a.y);
        const exponent = core.get(Field.magnExp) + a.steps;
        if (!(exponent > -15 && exponent < 10)) return undefined;
        const shrink = 2 ** -a.steps;
        core.set(Field.centreX, fx + (core.get(Field.centreX) - fx) * shrink);
        core.set(Field.centreY, fy + (core.get(Field.centreY) - fy) * shrink);
        core.set(Field.magnExp, exponent);
        return paintedOrder(core);
    },
};

let messages = [];
function message(text) {
    messages.push(text);
}

function paintedOrder(core) {
    return view.onlyOne ? core.get(Field.currentOrder) : -1;
}

function snapshot(core) {
    const fields = Object.fromEntries(Object.entries(Field).map(([name, id]) => [name, core.get(id)]));
    const orders = [];
    for (let order = 0; order < 10; ++order) {
        orders.push({
            items: [0, 1, 2, 3, 4, 5, 6, 7].map((i) => core.orderField(order, i) !== 0),
            lines: [8, 9, 10, 11, 12].map((i) => core.orderField(order, i) !== 0),
            drawOrder: core.orderField(order, OrderField.drawOrder) !== 0,
            transparency: core.orderField(order, OrderField.transparency),
        });
    }
    const colours = Array.from({ length: 100 }, (_, entry) => core.colour(entry));
    return {
        fields, orders, colours, series: core.text(0), comment: core.text(1), name: core.text(2),
        mode: view.mode, onlyOne: view.onlyOne, status: core.status(view.mode),
    };
}

function exportFile(core, kind) {
    if (kind === 'dat') return core.datBytes();
    if (kind === 'svg') return new TextEncoder().encode(core.svg({ order: paintedOrder(core) }));
    if (kind === 'plotter') return new TextEncoder().encode(core.svg({ plotter: true, order: paintedOrder(core) }));
    if (kind === 'pov') return new TextEncoder().encode(core.pov(true));
    return null;
}

// The painting as top-down RGBA in a buffer of its own, to be handed to the page.
function pictureOf(core) {
    const pixels = core.rgba();
    const reused = spareBuffers.findIndex((buffer) => buffer.byteLength === pixels.length);
    const buffer = reused >= 0 ? spareBuffers.splice(reused, 1)[0] : new ArrayBuffer(pixels.length);
    const rgba = new Uint8ClampedArray(buffer);
    rgba.set(pixels);
    return { rgba, width: core.get(Field.width), height: core.get(Field.height), dat: core.datBytes() };
}

self.onmessage = async ({ data: batch }) => {
    if ('module' in batch || 'failed' in batch) {
        if (batch.module) compiled.resolve(batch.module);
        else compiled.reject(new Error(`the core did not load (${batch.failed})`));
        return;
    }
    // While the core still compiles: the buffer of the first picture, its pages touched now
    // rather than on the way to the canvas.
    const opening = batch.actions?.find((action) => action.kind === 'start');
    if (opening) spareBuffers.push(new Uint8Array(opening.width * opening.height * 4).fill(255).buffer);
    if (batch.spare) {
        spareBuffers.push(batch.spare);
        if (spareBuffers.length > 2) spareBuffers.shift();
        return;
    }
    try {
        await handle(batch);
    } catch (error) {
        // A failure inside the core (no memory for a picture) ends this batch, not the page.
        self.postMessage({ id: batch.id, messages: [`The figure could not be painted: ${error.message}`] });
    }
};

async function handle(batch) {
    const received = performance.now();
    const core = await ready;
    messages = [];
    const reply = { id: batch.id, startup };
    let order;
    for (const action of batch.actions) {
        const result = await actions[action.kind]?.(core, action, reply);
        if (result !== undefined) order = result;
    }
    const transfer = [];
    if (order !== undefined) {
        const paintStarted = performance.now();
        if (core.paint(order)) {
            const painted = performance.now();
            reply.picture = pictureOf(core);
            reply.picture.paintMs = painted - paintStarted;
            reply.picture.copyMs = performance.now() - painted;
            transfer.push(reply.picture.rgba.buffer);
        }
    }
    if (view.mode === 0) reply.rects = core.focusRects();
    if (batch.export) reply.file = exportFile(core, batch.export);
    reply.dat = core.datBytes();
    reply.state = snapshot(core);
    const said = core.messages();
    reply.messages = [...messages, ...(said ? [said] : [])];
    if (reply.picture) reply.picture.workerMs = performance.now() - received;
    self.postMessage(reply, transfer);
}
