// The keyboard's lock state (Caps Lock, Num Lock, Scroll Lock) as the window system holds it,
// for the status bar's indicators.
#pragma once

#include <optional>

struct KeyboardLocks {
    bool caps = false;
    bool num = false;
    bool scroll = false;
};

// The real state of the lock keys; nothing where the platform does not tell it (the offscreen
// platform, Wayland, an X server without the keyboard extension).
std::optional<KeyboardLocks> ReadKeyboardLocks();
