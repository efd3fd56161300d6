#include "app/keyboard_locks.h"

#include <QGuiApplication>

#ifdef DORVANTA_HAVE_X11
#include <QtGui/qguiapplication_platform.h>
// Xlib last: its macros (None, Bool, KeyPress...) clash with Qt's names.
#include <X11/XKBlib.h>
#endif

namespace {

#ifdef DORVANTA_HAVE_X11
// The state of one of the keyboard's named indicators ("Caps Lock", ...); false when the
// keyboard has no such indicator.
bool IndicatorOn(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == 0) return false;
    Bool on = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return false;
    return on != False;
}

std::optional<KeyboardLocks> ReadX11Locks() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return std::nullopt;
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (!XkbQueryExtension(display, &opcode, &event, &error, &major, &minor)) return std::nullopt;
    return KeyboardLocks{IndicatorOn(display, "Caps Lock"), IndicatorOn(display, "Num Lock"),
                         IndicatorOn(display, "Scroll Lock")};
}
#endif

}  // namespace

std::optional<KeyboardLocks> ReadKeyboardLocks() {
#ifdef DORVANTA_HAVE_X11
    if (QGuiApplication::platformName() == QLatin1String("xcb")) return ReadX11Locks();
#endif
    return std::nullopt;
}
