// The settings panel's fields read and checked as the desktop dialog checks them, colours between
// COLORREF (red in the low byte) and the "#rrggbb" of colour inputs, the wheel's zoom steps.
import { Field, OrderField } from './core.js';

export const kLargestSide = 16384;
export const kLargestArea = 40 * 1024 * 1024;
const kInt32 = [-2147483648, 2147483647];

export function hexOfColour(colour) {
    const hex = (v) => v.toString(16).padStart(2, '0');
    return `#${hex(colour & 0xff)}${hex((colour >> 8) & 0xff)}${hex((colour >> 16) & 0xff)}`;
}

export function colourOfHex(text) {
    const m = /^#([0-9a-f]{2})([0-9a-f]{2})([0-9a-f]{2})$/i.exec(text);
    if (!m) return 0;
    return parseInt(m[1], 16) | (parseInt(m[2], 16) << 8) | (parseInt(m[3], 16) << 16);
}

// A wheel turn: a quarter of a magnification step per notch, in and out.
export function zoomStepsOfWheel(deltaY, deltaMode = 0) {
    const notches = deltaMode === 0 ? deltaY / 100 : deltaMode === 1 ? deltaY / 3 : deltaY;
    return Math.max(-4, Math.min(4, -0.25 * notches));
}

function wholeNumber(text, label, [low, high]) {
    const t = text.trim();
    if (!/^[+-]?\d+$/.test(t) || Number(t) < low || Number(t) > high) {
        return { error: `"${label}" needs a whole number from ${low} to ${high}.` };
    }
    return { value: Number(t) };
}

function realNumber(text, label, [low, high]) {
    const t = text.trim();
    const value = Number(t);
    if (t === '' || !/^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(t) || !(value >= low && value <= high)) {
        return { error: `"${label}" needs a number from ${low} to ${high}.` };
    }
    return { value };
}

// The settings of the panel: fields, texts and per-order values for the worker, or the first
// refusal ({ error, field }), in the order of the form; nothing is taken over on a refusal.
export function readSettings(valueOf, checked) {
    const fields = [];
    const orders = [];
    const checks = [
        ['centreX', 'Central Position X', realNumber, [-1e15, 1e15], Field.centreX],
        ['centreY', 'Central Position Y', realNumber, [-1e15, 1e15], Field.centreY],
        ['magnExp', 'Magnification (exp)', realNumber, [-1000, 1000], Field.magnExp],
        ['un', 'Units', wholeNumber, kInt32, Field.un],
        ['gs', 'Gold Sect', wholeNumber, kInt32, Field.gs],
        ['currentOrder', 'Order', wholeNumber, [0, 9], Field.currentOrder],
    ];
    if (!checked('follow')) {
        checks.push(['width', 'X', wholeNumber, [1, kLargestSide], Field.width],
            ['height', 'Y', wholeNumber, [1, kLargestSide], Field.height]);
    }
    for (const [name, label, read, range, field] of checks) {
        const r = read(valueOf(name), label, range);
        if (r.error) return { error: r.error, field: name };
        fields.push([field, r.value]);
    }
    const size = Object.fromEntries(fields.filter(([f]) => f === Field.width || f === Field.height));
    if (size[Field.width] * size[Field.height] > kLargestArea) {
        return { error: `A picture of ${size[Field.width]} x ${size[Field.height]} pixels is too large to paint here. Please enter a smaller size in "X" and "Y".`, field: 'width' };
    }
    for (let order = 0; order < 10; ++order) {
        const r = realNumber(valueOf(`transparency${order}`), `Transparency of order ${order}`, [0, 1]);
        if (r.error) return { error: r.error, field: `transparency${order}` };
        orders.push([order, OrderField.transparency, r.value], [order, OrderField.drawOrder, Number(checked(`draw${order}`))]);
    }
    const current = fields.find(([f]) => f === Field.currentOrder)[1];
    for (let item = 0; item < 8; ++item) orders.push([current, item, Number(checked(`item${item}`))]);
    fields.push([Field.gradient, Number(checked('gradient'))]);
    const comment = valueOf('comment');
    const name = valueOf('name');
    if (comment.length > 90) return { error: '"Comment" holds at most 90 characters.', field: 'comment' };
    if (name.length > 100 || /[\\/]/.test(name)) {
        return { error: '"Project Name" holds at most 100 characters and no slashes.', field: 'name' };
    }
    return { fields, orders, texts: [[1, comment], [2, name]] };
}
