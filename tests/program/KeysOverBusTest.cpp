// Keys typed into a real widget reach `vxhost keys` over the session bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>

#include "BusWindowMessages.h"
#include "HostKeys.h"
#include "QtKeyMessages.h"
#include "RunningAnalyzer.h"

namespace {

void Type(QWidget& w, int key, Qt::KeyboardModifiers mods, quint32 xkey)
{
    QKeyEvent press(QEvent::KeyPress, key, mods, xkey, 0, 0);
    QApplication::sendEvent(&w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, xkey, 0, 0);
    QApplication::sendEvent(&w, &release);
}

TEST(KeysOverBus, TypedKeysReachTheHostToolOnceEach)
{
    AppOn("offscreen");
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr || !QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    BusWindowMessages bus(QDBusConnection::sessionBus(), 1000);
    QWidget window;
    window.setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.setFocus();
    int tag = 1;
    KeyForwardFilter filter([&] { return tag; }, bus);
    qApp->installEventFilter(&filter);

    TChild host;
    ASSERT_TRUE(host.Start({VXHOST_PATH, "keys"}));
    ASSERT_TRUE(host.WaitFor([&] { return bus.FindWindowByClass(kHostWindowClass) != 0; }, 5000));
    // Switch off: nothing goes out. Shift wins over Ctrl: never both flags.
    tag = 0;
    Type(window, Qt::Key_A, Qt::NoModifier, 38);
    tag = 1;
    Type(window, Qt::Key_A, Qt::ShiftModifier | Qt::ControlModifier, 38);
    Type(window, Qt::Key_A, Qt::AltModifier, 38);          // Alt: never
    Type(window, Qt::Key_ScrollLock, Qt::NoModifier, 78);  // never
    filter.FlushRelease();  // the last release waits for a press that would pair with it
    qApp->removeEventFilter(&filter);

    host.WaitFor([&] { return std::count(host.out.begin(), host.out.end(), '\n') >= 2; }, 3000);
    host.WaitFor([] { return false; }, 200);  // anything extra shows now
    EXPECT_EQ(host.End(SIGINT, 5000), 0);     // as Ctrl+C
    EXPECT_EQ(host.out,
              "WM_KEYDOWN wParam=0x141 lParam=0x001e0001 key=Shift+A\n"
              "WM_KEYUP wParam=0x141 lParam=0xc01e0001 key=Shift+A\n");
}

TEST(KeysOverBus, LinesNameTheMessageAndKey)
{
    EXPECT_EQ(vxhost::FormatKeyPost(0x0100, 0x10, 0x002A0001), "WM_KEYDOWN wParam=0x10 lParam=0x002a0001 key=Shift");
    EXPECT_EQ(vxhost::FormatKeyPost(0x0105, 0x79, static_cast<std::int32_t>(0xC0440001)),
              "WM_SYSKEYUP wParam=0x79 lParam=0xc0440001 key=F10");
    EXPECT_EQ(vxhost::FormatKeyPost(0x0200, 0xFF, 0), "512 wParam=0xff lParam=0x00000000 key=VK 0xff");
}

}  // namespace
