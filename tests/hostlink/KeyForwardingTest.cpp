#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "FakeKeyHost.h"
#include "KeyForwarding.h"
#include "QtKeyMessages.h"

namespace {

struct Key {
    QEvent::Type type;
    int key;
    Qt::KeyboardModifiers mods = Qt::NoModifier;
    quint32 xkeycode = 0;
};

// What reaches the host for Qt's key events through translation and the
// hook, and how often the hook looks the host up: anew for each key (the
// host may have restarted), never with the switch off. Codes and lParam
// (scan code, extended bit, previous state and transition bits) follow
// the other platform.
TEST(KeyForwarding, WhatReachesTheHost)
{
    constexpr auto P = QEvent::KeyPress;
    constexpr auto R = QEvent::KeyRelease;
    constexpr auto kShift = Qt::ShiftModifier;
    constexpr auto kPad = Qt::KeypadModifier;
    const std::vector<Key> aPressAndRelease = {{P, Qt::Key_A}, {R, Qt::Key_A}};  // no native code
    const struct {
        const char* name;
        std::vector<Key> keys;
        std::vector<std::array<std::uint32_t, 3>> posted;  // message, wParam, lParam
        int tag = 1;
        bool running = true;
        std::int64_t target = 0x777;
        int lookups = -1;  // -1: not checked
    } cases[] = {
        {"plain key", aPressAndRelease, {{0x0100, 0x41, 0x001E0001}, {0x0101, 0x41, 0xC01E0001}}},
        {"codes and scan codes",
         {{P, Qt::Key_A, {}, 38}, {P, Qt::Key_F12, {}, 96}, {P, Qt::Key_Up, {}, 111}, {P, Qt::Key_7, kPad, 79},
          {P, Qt::Key_Enter, kPad, 104}, {P, Qt::Key_Slash, kPad, 106}, {P, Qt::Key_Semicolon, {}, 47},
          {P, Qt::Key_QuoteLeft, {}, 49}, {P, Qt::Key_Escape, {}, 9}},
         {{0x0100, 0x41, 0x001E0001}, {0x0100, 0x7B, 0x00580001}, {0x0100, 0x26, 0x01480001},
          {0x0100, 0x67, 0x00470001}, {0x0100, 0x0D, 0x011C0001}, {0x0100, 0x6F, 0x01350001},
          {0x0100, 0xBA, 0x00270001}, {0x0100, 0xC0, 0x00290001}, {0x0100, 0x1B, 0x00010001}}},
        {"Shift or Ctrl fold into the code, Shift wins over both",
         {{P, Qt::Key_Percent, kShift, 14}, {P, Qt::Key_A, Qt::ControlModifier},
          {P, Qt::Key_A, kShift | Qt::ControlModifier}},
         {{0x0100, 0x135, 0x00060001}, {0x0100, 0x241, 0x001E0001}, {0x0100, 0x141, 0x001E0001}}},
        // The window system reports the state before the event: no Shift on
        // the press, Shift on the release.
        {"Shift alone is down on its own press, right Ctrl is extended",
         {{P, Qt::Key_Shift, {}, 50}, {R, Qt::Key_Shift, kShift, 50}, {P, Qt::Key_Control, {}, 105}},
         {{0x0100, 0x110, 0x002A0001}, {0x0101, 0x10, 0xC02A0001}, {0x0100, 0x211, 0x011D0001}}},
        {"F10 is a system key", {{P, Qt::Key_F10, {}, 76}}, {{0x0104, 0x79, 0x00440001}}},
        {"Alt keys, Scroll Lock and unknown keys never leave",
         {{P, Qt::Key_X, Qt::AltModifier}, {P, Qt::Key_Alt}, {P, Qt::Key_ScrollLock},
          {P, Qt::Key_ScrollLock, kShift}, {P, Qt::Key_ScrollLock, Qt::ControlModifier}, {P, Qt::Key_unknown}},
         {}},
        {"switch off", aPressAndRelease, {}, 0, true, 0x777, 0},
        {"no host", aPressAndRelease, {}, 1, false, 0x777, 2},
        {"host names no target", aPressAndRelease, {}, 1, true, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.running = c.running;
        host.target = c.target;
        for (const Key& k : c.keys) {
            const QKeyEvent e(k.type, k.key, k.mods, k.xkeycode, 0, 0);
            TranslatedKey t = TranslateKeyEvent(e);
            if (!t.valid)
                continue;
            EventKeyState keys(e.modifiers(), static_cast<std::uint32_t>(t.msg.wParam), e.type() == P);
            AppMessage(t.msg, c.tag, keys, host);
        }
        EXPECT_EQ(host.posted, c.posted);
        if (c.lookups >= 0) {
            EXPECT_EQ(host.lookups, c.lookups);
        }
    }
}

// Sends key events to the focus widget through the application's filters,
// with the timestamps the window system gives them.
void Send(QWidget* to, QEvent::Type type, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
          std::uint64_t time = 0, bool autorep = false)
{
    QKeyEvent e(type, key, mods, 0, 0, 0, QString(), autorep);
    e.setTimestamp(time);
    QApplication::sendEvent(to, &e);
}

// Lets a held-back release go, with a deadline.
void Settle(const FakeHost& host, std::size_t expected)
{
    (void)QTest::qWaitFor([&] { return host.posted.size() >= expected; }, 1000);  // the caller checks what came
    QTest::qWait(KeyForwardFilter::kRepeatPairWaitMs * 2);  // and nothing more comes
}

class KeyForwardFilterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto* layout = new QVBoxLayout(&window);
        auto* inner = new QWidget;
        auto* child = new QWidget(inner);  // ignores keys: they go to inner, then window
        layout->addWidget(inner);
        layout->addWidget(slider);
        child->setFocusPolicy(Qt::StrongFocus);
        window.show();
        child->setFocus();
        QApplication::processEvents();
        qApp->installEventFilter(&filter);
    }
    void TearDown() override { qApp->removeEventFilter(&filter); }

    FakeHost host;
    int tag = 1;
    QWidget window;
    QSlider* slider = new QSlider(Qt::Horizontal);
    KeyForwardFilter filter{[this] { return tag; }, host, nullptr, &window};
};

// A held key reaches the host as repeated key-downs and one key-up, also
// when Qt misses the auto-repeat flag on the window system's release/press
// pairs (same timestamp), as happens under load; a real release and press
// stay two key strokes. The focus widget ignores keys, so each travels up
// to its parents, where the filter sees it again but forwards it once.
TEST_F(KeyForwardFilterTest, HeldKeyIsDecidedFromTheKeysState)
{
    // Down and up, with the previous-state bit of lParam.
    constexpr std::uint32_t D = 0x0100, U = 0x0101, Was = 0x40000000;
    const std::vector<std::uint32_t> held = {D, D | Was, D | Was, D | Was, D | Was, D | Was, U | Was};
    const std::vector<std::uint32_t> strokes = {D, U | Was, D, U | Was, D, U | Was, D, U | Was, D, U | Was, D, U | Was};
    // Qt's auto-repeat flag, the press's timestamp after its release, what
    // reaches the host.
    const std::tuple<bool, int, std::vector<std::uint32_t>> cases[] = {
        {true, 0, held}, {false, 0, held}, {false, 40, strokes}};
    for (const auto& [flagged, pressLagMs, expected] : cases) {
        SCOPED_TRACE(testing::Message() << flagged << " " << pressLagMs);
        host.posted.clear();
        QWidget* to = QApplication::focusWidget();
        std::uint64_t t = 1000;
        Send(to, QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, t);
        for (int i = 0; i < 5; ++i) {
            t += 33;
            Send(to, QEvent::KeyRelease, Qt::Key_C, Qt::NoModifier, t, flagged);
            Send(to, QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, t + pressLagMs, flagged);
        }
        Send(to, QEvent::KeyRelease, Qt::Key_C, Qt::NoModifier, t + 500);
        Settle(host, expected.size());
        std::vector<std::uint32_t> got;
        for (const auto& [message, wParam, lParam] : host.posted)
            got.push_back(message | (lParam & Was));
        EXPECT_EQ(got, expected);
    }
}

// A press taken by an open menu is not forwarded, and neither is its
// release when it comes to the focus widget: no unpaired key-up.
TEST_F(KeyForwardFilterTest, MenuOpenForwardsBothHalvesOrNeither)
{
    QMenu menu;
    menu.addAction("x");
    menu.popup(window.mapToGlobal(QPoint(0, 0)));
    QApplication::processEvents();
    Send(&menu, QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, 10);
    menu.close();
    Send(QApplication::focusWidget(), QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, 20);
    Settle(host, 0);
    EXPECT_TRUE(host.posted.empty());
}

// With forwarding on, Shift or Ctrl changes the code, and the analyzer's
// own controls see that changed code, which no control knows; other keys,
// other windows and forwarding off are untouched.
TEST_F(KeyForwardFilterTest, ChangedCodeReachesNoControl)
{
    QSlider other(Qt::Horizontal);  // another window: a box or the About window
    other.show();
    // Where the key goes, the switch, the modifiers, whether the slider moves.
    const std::tuple<QSlider*, int, Qt::KeyboardModifiers, bool> cases[] = {
        {slider, 1, Qt::ShiftModifier, false},
        {slider, 1, Qt::NoModifier, true},
        {slider, 0, Qt::ShiftModifier, true},
        {&other, 1, Qt::ShiftModifier, true},
    };
    std::uint64_t t = 0;
    for (const auto& [to, passKeys, mods, moves] : cases) {
        to->activateWindow();
        to->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == to; }));
        tag = passKeys;
        to->setValue(50);
        Send(to, QEvent::KeyPress, Qt::Key_Right, mods, t += 100);
        Send(to, QEvent::KeyRelease, Qt::Key_Right, mods, t += 100);
        EXPECT_EQ(to->value() != 50, moves) << passKeys << " " << mods.toInt();
    }
    Settle(host, 0);
    ASSERT_FALSE(host.posted.empty());
    EXPECT_EQ(host.posted.front()[1], 0x127u);
}

}  // namespace

// One application for the whole binary: the key filter needs widgets, the
// bus tests an event loop.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
