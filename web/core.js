// The figure core (dorvanta.wasm) behind a small JavaScript face, for the page's worker and for
// the tests under Node. Texts cross as bytes: the parameter text is Windows-1252, kept byte for
// byte; the other texts are UTF-8.

// Field numbers of dv_get/dv_set.
export const Field = {
    width: 0, height: 1, un: 2, gs: 3, centreX: 4, centreY: 5, magnExp: 6, currentOrder: 7,
    gradient: 8, seriesLength: 9,
};
// Field numbers of dv_get_order/dv_set_order: items 0..7, line families 8..12, then these.
export const OrderField = { drawOrder: 13, transparency: 14 };
// NavKey of the desktop's navigation.
export const NavKey = { Other: 0, Tab: 1, PageUp: 2, PageDown: 3, Home: 4, Left: 5, Right: 6, Up: 7, Down: 8 };

// The few system calls the C library links: no files, no output, the clock.
function systemCalls(memoryOf) {
    const EBADF = 8;
    return {
        fd_write: () => EBADF,
        fd_close: () => EBADF,
        fd_seek: () => EBADF,
        clock_time_get: (id, precision, out) => {
            new DataView(memoryOf().buffer).setBigUint64(out, BigInt(Date.now()) * 1000000n, true);
            return 0;
        },
    };
}

export class Core {
    // From the module's bytes, a Response that streams them, or the compiled module.
    static async load(source) {
        let memory = null;
        const imports = { wasi_snapshot_preview1: systemCalls(() => memory) };
        const { instance } = source instanceof WebAssembly.Module
            ? { instance: await WebAssembly.instantiate(source, imports) }
            : source instanceof Response
                ? await WebAssembly.instantiateStreaming(source, imports)
                : await WebAssembly.instantiate(source, imports);
        memory = instance.exports.memory;
        instance.exports._initialize();
        return new Core(instance.exports);
    }

    constructor(exports) {
        this.x = exports;
        this.utf8 = new TextDecoder();
    }

    bytes(pointer, length) {
        return new Uint8Array(this.x.memory.buffer, pointer, length);
    }

    // Bytes of the last text made, copied out of the module's memory.
    outputBytes(length = this.x.dv_output_length()) {
        return this.bytes(this.x.dv_output(), length).slice();
    }

    outputText() {
        return this.utf8.decode(this.outputBytes());
    }

    input(bytes) {
        const pointer = this.x.dv_input(bytes.length);  // before the buffer: it may grow
        this.bytes(pointer, bytes.length).set(bytes);
    }

    // The messages the core showed since the last call, one text.
    messages() {
        this.x.dv_take_messages();
        return this.outputText();
    }

    reset() { this.x.dv_reset(); }

    // Reads a parameter file's bytes; false (the figure unchanged) when they are no figure.
    loadDat(bytes) {
        this.input(bytes);
        return this.x.dv_load_dat() === 0;
    }

    datBytes() {
        this.x.dv_make_dat();
        return this.outputBytes();
    }

    svg({ plotter = false, order = -1, widthMm = 0 } = {}) {
        this.x.dv_make_svg(plotter ? 1 : 0, order, widthMm);
        return this.outputText();
    }

    // The scene of the last painting.
    pov(header = true) {
        this.x.dv_make_pov(header ? 1 : 0);
        return this.outputText();
    }

    get(field) { return this.x.dv_get(field); }
    set(field, value) { this.x.dv_set(field, value); }
    text(field) { this.x.dv_get_text(field); return this.outputText(); }
    setText(field, text) {
        this.input(new TextEncoder().encode(text));
        return this.x.dv_set_text(field) === 0;
    }
    orderField(order, field) { return this.x.dv_get_order(order, field); }
    setOrderField(order, field, value) { this.x.dv_set_order(order, field, value); }
    // The random colouring of the desktop's Q, its numbers from the generator seedRandom seeded.
    seedRandom(seed) { this.x.dv_seed_random(seed >>> 0); }
    randomColours() { this.x.dv_random_colours(); }
    colour(entry) { return this.x.dv_get_colour(entry) >>> 0; }
    setColour(entry, colour) { this.x.dv_set_colour(entry, colour); }

    // Paints at the figure's size; false when the size is refused.
    paint(order = -1) { return this.x.dv_paint(order) === 0; }
    // The painting as the desktop holds it: bottom-up BGR rows, each a multiple of 4 bytes.
    rows() { return this.bytes(this.x.dv_rows(), this.x.dv_rows_length()); }
    // The painting as top-down RGBA, a view into the module's memory.
    rgba() {
        const width = this.get(Field.width), height = this.get(Field.height);
        const pointer = this.x.dv_rgba();  // may grow the memory: its buffer is taken after
        return new Uint8ClampedArray(this.x.memory.buffer, pointer, width * height * 4);
    }

    key(navKey, { ctrl = false, shift = false, mode = 1, onlyOne = false } = {}) {
        return this.x.dv_key(navKey, ctrl ? 1 : 0, shift ? 1 : 0, mode, onlyOne ? 1 : 0);
    }
    centreAt(x, y) { this.x.dv_centre_at(x, y); }
    figurePointAt(x, y) {
        const pointer = this.x.dv_figure_point(x, y);
        return Array.from(new Float64Array(this.x.memory.buffer, pointer, 2));
    }
    // The desktop's status texts: mode, offsets, position.
    status(mode) { this.x.dv_status(mode); return this.outputText().split('\t'); }
    referenceAt(x, y) { this.x.dv_reference_at(x, y); }
    // The four focus rectangles, each four [x, y] corners, outermost first.
    focusRects() {
        const pointer = this.x.dv_focus_rects();
        const numbers = new Int32Array(this.x.memory.buffer, pointer, 32);
        const rects = [];
        for (let r = 0; r < 4; ++r) {
            rects.push([0, 1, 2, 3].map((c) => [numbers[r * 8 + c * 2], numbers[r * 8 + c * 2 + 1]]));
        }
        return rects;
    }
}
