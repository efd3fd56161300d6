// What a key does in the figure view, as on the desktop: the navigation keys with Ctrl and Shift,
// Tab for the arrow mode, the digits for one order alone, Q for random colours, Enter for the
// settings, Escape back to the offsets mode.
import { NavKey } from './core.js';

const kNavigation = {
    ArrowLeft: NavKey.Left, ArrowRight: NavKey.Right, ArrowUp: NavKey.Up, ArrowDown: NavKey.Down,
    PageUp: NavKey.PageUp, PageDown: NavKey.PageDown, Home: NavKey.Home,
};

// The action of a keydown event, or null when the key is not the view's. Browsers keep
// Ctrl+Page Up/Down for their tabs, so Alt+Page Up/Down does here what Ctrl does on the desktop.
export function actionOfKey(event) {
    if (event.altKey && !event.metaKey && /^Page(Up|Down)$/.test(event.key)) {
        return { kind: 'navigate', key: kNavigation[event.key], ctrl: true, shift: Boolean(event.shiftKey) };
    }
    if (event.altKey || event.metaKey) return null;
    const ctrl = Boolean(event.ctrlKey);
    if (event.key in kNavigation) {
        return { kind: 'navigate', key: kNavigation[event.key], ctrl, shift: Boolean(event.shiftKey) };
    }
    if (event.key === 'Tab' && !event.shiftKey && !ctrl) return { kind: 'mode' };
    if (event.key === 'Escape') return { kind: 'offsets' };
    if (event.key === 'Enter') return { kind: 'settings' };
    if (/^[0-9]$/.test(event.key) && !ctrl) return { kind: 'order', order: Number(event.key) };
    if (/^q$/i.test(event.key) && !ctrl) return { kind: 'random' };
    return null;
}

// Arrow mode 0 previews a pending centre and magnification; mode 1 changes Un, Gs and the order.
export function nextMode(mode) {
    return (mode + 1) % 2;
}
