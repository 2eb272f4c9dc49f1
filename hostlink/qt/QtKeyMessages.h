// Turns Qt key events into the key messages the host expects: message
// number, virtual-key code and lParam as the other platform builds them,
// and the modifier state at the time of the event.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <set>

#include "KeyForwarding.h"

class QKeyEvent;
class QWidget;

// Virtual-key code of a Qt key (US layout for punctuation); 0 if none.
std::uint32_t VirtualKeyOf(int qtKey, Qt::KeyboardModifiers modifiers, bool keypad);

// PC set-1 scan code and extended flag for a key. `nativeScanCode` is the
// X keycode (0 when unknown, then the code is derived from the key).
struct ScanCode {
    std::uint32_t code = 0;
    bool extended = false;
};
ScanCode ScanCodeOf(std::uint32_t nativeScanCode, std::uint32_t virtualKey, bool keypad);

// Modifier state of one event, with the event's own modifier key counted
// down on its press and up on its release.
class EventKeyState final : public IKeyState {
public:
    EventKeyState(Qt::KeyboardModifiers modifiers, std::uint32_t ownKey, bool press);
    std::int16_t GetKeyState(std::uint32_t virtualKey) const override;

private:
    bool shift_, ctrl_, alt_;
};

// The translation of one key event; valid is false for keys without a
// virtual-key code and for auto-repeat releases (the other platform sends
// repeated key-downs only).
struct TranslatedKey {
    bool valid = false;
    KeyMessage msg;
    bool shift = false, ctrl = false, alt = false;
};
TranslatedKey TranslateKeyEvent(const QKeyEvent& event);

// Application-wide event filter running AppMessage for every key press
// and release exactly once.
//
// Held keys are decided from the keys' own state, as the other platform
// sends them (repeated key-downs, one key-up): a press of a key already
// down is a repeat, and a release followed at once by a press of the same
// key with the same timestamp is the window system's auto-repeat even when
// Qt did not flag it (it misses pairs under load). So a release is held
// back until the next key event or kRepeatPairWaitMs. A release is
// forwarded only when its press was, so that an open menu, which takes a
// press, leaves no unpaired key-up.
//
// While forwarding is on and Shift or Ctrl changed the key's code, the
// controls of `scope` (the analyzer's window) do not get the key: the
// changed code is one no control knows. Other windows (message boxes,
// the About window) get their keys unchanged.
class KeyForwardFilter final : public QObject {
public:
    KeyForwardFilter(std::function<int()> passKeysTag, IWindowMessages& messages, QObject* parent = nullptr,
                     QWidget* scope = nullptr);
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Forwards a held-back release now.
    void FlushRelease();

    static constexpr int kRepeatPairWaitMs = 30;

    // For tests: the last message handed to AppMessage.
    KeyMessage lastMessage;
    int handled = 0;

private:
    struct Pending {
        KeyMessage msg;
        bool shift, ctrl, alt;
        std::uint32_t key;
        std::uint64_t time;
        int tag;  // the switch when the release came
    };
    void Forward(const TranslatedKey& t, int tag);

    std::function<int()> passKeysTag_;
    IWindowMessages& messages_;
    QWidget* scope_;
    std::set<std::uint32_t> down_;
    std::optional<Pending> pending_;
    QTimer* releaseTimer_;
};