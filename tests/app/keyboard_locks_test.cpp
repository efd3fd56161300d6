// The lock indicators against the keyboard's real state. Reading that state needs an X server:
// ctest runs this file a second time under xvfb-run with the xcb platform; under the offscreen
// platform only the fallback is checked.
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

#include "app/keyboard_locks.h"
#include "app_fixture.h"

#ifdef DORVANTA_HAVE_X11
#include <QtGui/qguiapplication_platform.h>
#include <X11/XKBlib.h>
#include <X11/keysym.h>
#endif

namespace {

bool OnX11() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

#ifdef DORVANTA_HAVE_X11
Display* X11Display() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

// Locks or unlocks Caps Lock and Num Lock on the server, as the keys themselves do.
void SetServerLocks(bool caps, bool num) {
    Display* display = X11Display();
    ASSERT_NE(display, nullptr);
    const unsigned int capsMask = LockMask;
    const unsigned int numMask = XkbKeysymToModifiers(display, XK_Num_Lock);
    ASSERT_NE(numMask, 0u);
    XkbLockModifiers(display, XkbUseCoreKbd, capsMask | numMask,
                     (caps ? capsMask : 0) | (num ? numMask : 0));
    XSync(display, False);
}
#endif

bool Shown(const CMainFrame& frame, const char* indicator) {
    return frame.IndicatorPane(indicator)->isEnabled();
}

}  // namespace

TEST_F(AppFixture, WithoutAWindowSystemStateTheIndicatorsFollowTheKeys) {
    if (OnX11()) GTEST_SKIP() << "the X server tells the real state";
    EXPECT_FALSE(ReadKeyboardLocks().has_value());
    ASSERT_TRUE(Start());
    EXPECT_FALSE(Shown(Frame(), "SCRL"));
    QTest::keyClick(Frame().windowHandle(), Qt::Key_ScrollLock);
    EXPECT_TRUE(Shown(Frame(), "SCRL"));
    QTest::keyClick(Frame().windowHandle(), Qt::Key_ScrollLock);
    EXPECT_FALSE(Shown(Frame(), "SCRL"));
}

#ifdef DORVANTA_HAVE_X11
TEST_F(AppFixture, X11IndicatorsShowTheServersLockStateOnLockKeysAndActivation) {
    if (!OnX11()) GTEST_SKIP() << "needs an X server (ctest runs this under xvfb-run)";
    ASSERT_TRUE(Start());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Frame()));
    const struct {
        bool caps, num;
    } states[] = {{true, false}, {false, true}, {true, true}, {false, false}};
    for (const auto& s : states) {
        SetServerLocks(s.caps, s.num);
        const std::optional<KeyboardLocks> read = ReadKeyboardLocks();
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->caps, s.caps);
        EXPECT_EQ(read->num, s.num);
        // The lock key's own press shows the state at once, without waiting for another key.
        QTest::keyClick(Frame().windowHandle(), s.caps ? Qt::Key_CapsLock : Qt::Key_NumLock);
        EXPECT_EQ(Shown(Frame(), "CAP"), s.caps) << s.caps << s.num;
        EXPECT_EQ(Shown(Frame(), "NUM"), s.num) << s.caps << s.num;
    }
    // Changed while the window was elsewhere: shown when the window is activated.
    SetServerLocks(true, true);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&Frame(), &activate);
    EXPECT_TRUE(Shown(Frame(), "CAP"));
    EXPECT_TRUE(Shown(Frame(), "NUM"));
    SetServerLocks(false, false);
}
#endif
