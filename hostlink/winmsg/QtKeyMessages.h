// Turns Qt key events into the key messages the host expects: message
// number, virtual-key code and lParam as the other platform builds them,
// and the modifier state at the time of the event.
#pragma once

#include <QObject>
#include <functional>
#include <set>

#include "KeyForwarding.h"

class QKeyEvent;

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
// and release exactly once, then letting the event go on unchanged.
class KeyForwardFilter final : public QObject {
public:
    KeyForwardFilter(std::function<int()> passKeysTag, IWindowMessages& messages, QObject* parent = nullptr);
    bool eventFilter(QObject* watched, QEvent* event) override;

    // For tests: the last message handed to AppMessage.
    KeyMessage lastMessage;
    int handled = 0;

private:
    std::function<int()> passKeysTag_;
    IWindowMessages& messages_;
};
