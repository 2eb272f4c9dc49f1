#include "QtKeyMessages.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {

struct KeyEntry {
    int qtKey;
    std::uint32_t vk;
};

// Keys whose code does not follow from a range (letters, digits and
// function keys are handled before this table).
constexpr KeyEntry kKeyTable[] = {
    {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09}, {Qt::Key_Backtab, 0x09}, {Qt::Key_Clear, 0x0C},
    {Qt::Key_Return, 0x0D}, {Qt::Key_Enter, 0x0D}, {Qt::Key_Shift, 0x10}, {Qt::Key_Control, 0x11},
    {Qt::Key_Alt, 0x12}, {Qt::Key_AltGr, 0x12}, {Qt::Key_Pause, 0x13}, {Qt::Key_CapsLock, 0x14},
    {Qt::Key_Escape, 0x1B}, {Qt::Key_Space, 0x20}, {Qt::Key_PageUp, 0x21}, {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23}, {Qt::Key_Home, 0x24}, {Qt::Key_Left, 0x25}, {Qt::Key_Up, 0x26},
    {Qt::Key_Right, 0x27}, {Qt::Key_Down, 0x28}, {Qt::Key_Select, 0x29}, {Qt::Key_Printer, 0x2A},
    {Qt::Key_Execute, 0x2B}, {Qt::Key_Print, 0x2C}, {Qt::Key_SysReq, 0x2C}, {Qt::Key_Insert, 0x2D},
    {Qt::Key_Delete, 0x2E}, {Qt::Key_Help, 0x2F}, {Qt::Key_Meta, 0x5B}, {Qt::Key_Super_L, 0x5B},
    {Qt::Key_Super_R, 0x5C}, {Qt::Key_Menu, 0x5D}, {Qt::Key_Sleep, 0x5F}, {Qt::Key_NumLock, 0x90},
    {Qt::Key_ScrollLock, 0x91},
    // Shifted digits of the US layout share the digit's key.
    {Qt::Key_ParenRight, 0x30}, {Qt::Key_Exclam, 0x31}, {Qt::Key_At, 0x32}, {Qt::Key_NumberSign, 0x33},
    {Qt::Key_Dollar, 0x34}, {Qt::Key_Percent, 0x35}, {Qt::Key_AsciiCircum, 0x36}, {Qt::Key_Ampersand, 0x37},
    {Qt::Key_Asterisk, 0x38}, {Qt::Key_ParenLeft, 0x39},
    // Punctuation, US layout (OEM keys).
    {Qt::Key_Semicolon, 0xBA}, {Qt::Key_Colon, 0xBA}, {Qt::Key_Equal, 0xBB}, {Qt::Key_Plus, 0xBB},
    {Qt::Key_Comma, 0xBC}, {Qt::Key_Less, 0xBC}, {Qt::Key_Minus, 0xBD}, {Qt::Key_Underscore, 0xBD},
    {Qt::Key_Period, 0xBE}, {Qt::Key_Greater, 0xBE}, {Qt::Key_Slash, 0xBF}, {Qt::Key_Question, 0xBF},
    {Qt::Key_QuoteLeft, 0xC0}, {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BracketLeft, 0xDB},
    {Qt::Key_BraceLeft, 0xDB}, {Qt::Key_Backslash, 0xDC}, {Qt::Key_Bar, 0xDC}, {Qt::Key_BracketRight, 0xDD},
    {Qt::Key_BraceRight, 0xDD}, {Qt::Key_Apostrophe, 0xDE}, {Qt::Key_QuoteDbl, 0xDE},
    // Media and browser keys.
    {Qt::Key_Back, 0xA6}, {Qt::Key_Forward, 0xA7}, {Qt::Key_Refresh, 0xA8}, {Qt::Key_Stop, 0xA9},
    {Qt::Key_Search, 0xAA}, {Qt::Key_Favorites, 0xAB}, {Qt::Key_HomePage, 0xAC}, {Qt::Key_VolumeMute, 0xAD},
    {Qt::Key_VolumeDown, 0xAE}, {Qt::Key_VolumeUp, 0xAF}, {Qt::Key_MediaNext, 0xB0},
    {Qt::Key_MediaPrevious, 0xB1}, {Qt::Key_MediaStop, 0xB2}, {Qt::Key_MediaTogglePlayPause, 0xB3},
    {Qt::Key_MediaPlay, 0xB3}, {Qt::Key_LaunchMail, 0xB4},
};

// The numeric keypad: digits and operators get their own codes; with Num
// Lock off the keypad's navigation keys keep the navigation codes.
std::uint32_t KeypadKey(int qtKey)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return 0x60 + static_cast<std::uint32_t>(qtKey - Qt::Key_0);
    switch (qtKey) {
    case Qt::Key_Asterisk: return 0x6A;
    case Qt::Key_Plus: return 0x6B;
    case Qt::Key_Minus: return 0x6D;
    case Qt::Key_Period:
    case Qt::Key_Comma: return 0x6E;
    case Qt::Key_Slash: return 0x6F;
    default: return 0;
    }
}

// Scan codes of the main keys, by virtual-key code, for events that carry
// no native scan code.
std::uint32_t ScanFromVirtualKey(std::uint32_t vk)
{
    static constexpr const char kLetters[] = "\x1E\x30\x2E\x20\x12\x21\x22\x23\x17\x24\x25\x26\x32\x31\x18\x19"
                                             "\x10\x13\x1F\x14\x16\x2F\x11\x2D\x15\x2C";
    if (vk >= 'A' && vk <= 'Z')
        return static_cast<unsigned char>(kLetters[vk - 'A']);
    if (vk >= '1' && vk <= '9')
        return 0x02 + (vk - '1');
    if (vk == '0')
        return 0x0B;
    if (vk >= 0x70 && vk <= 0x79)
        return 0x3B + (vk - 0x70);  // F1..F10
    switch (vk) {
    case 0x7A: return 0x57;  // F11
    case 0x7B: return 0x58;  // F12
    case 0x08: return 0x0E;
    case 0x09: return 0x0F;
    case 0x0D: return 0x1C;
    case 0x10: return 0x2A;
    case 0x11: return 0x1D;
    case 0x12: return 0x38;
    case 0x13: return 0x45;
    case 0x14: return 0x3A;
    case 0x1B: return 0x01;
    case 0x20: return 0x39;
    case 0x21: return 0x49;
    case 0x22: return 0x51;
    case 0x23: return 0x4F;
    case 0x24: return 0x47;
    case 0x25: return 0x4B;
    case 0x26: return 0x48;
    case 0x27: return 0x4D;
    case 0x28: return 0x50;
    case 0x2C: return 0x37;
    case 0x2D: return 0x52;
    case 0x2E: return 0x53;
    case 0x5B: return 0x5B;
    case 0x5C: return 0x5C;
    case 0x5D: return 0x5D;
    case 0x90: return 0x45;
    case 0x91: return 0x46;
    case 0xBA: return 0x27;
    case 0xBB: return 0x0D;
    case 0xBC: return 0x33;
    case 0xBD: return 0x0C;
    case 0xBE: return 0x34;
    case 0xBF: return 0x35;
    case 0xC0: return 0x29;
    case 0xDB: return 0x1A;
    case 0xDC: return 0x2B;
    case 0xDD: return 0x1B;
    case 0xDE: return 0x28;
    default: break;
    }
    if (vk >= 0x60 && vk <= 0x69) {
        static constexpr std::uint32_t kPad[] = {0x52, 0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49};
        return kPad[vk - 0x60];
    }
    switch (vk) {
    case 0x6A: return 0x37;
    case 0x6B: return 0x4E;
    case 0x6D: return 0x4A;
    case 0x6E: return 0x53;
    case 0x6F: return 0x35;
    default: return 0;
    }
}

bool IsExtendedVirtualKey(std::uint32_t vk, bool keypad)
{
    switch (vk) {
    case 0x21: case 0x22: case 0x23: case 0x24: case 0x25: case 0x26: case 0x27: case 0x28:
    case 0x2D: case 0x2E:
        return !keypad;  // the grey navigation block, not the keypad's
    case 0x0D: return keypad;  // keypad Enter
    case 0x6F: return true;   // keypad /
    case 0x90: return true;   // Num Lock
    case 0x5B: case 0x5C: case 0x5D: return true;
    case 0x2C: return true;   // Print Screen
    default: return false;
    }
}

}  // namespace

std::uint32_t VirtualKeyOf(int qtKey, Qt::KeyboardModifiers, bool keypad)
{
    if (keypad) {
        if (const std::uint32_t vk = KeypadKey(qtKey))
            return vk;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return static_cast<std::uint32_t>(qtKey);  // Qt's codes are the ASCII capitals
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return static_cast<std::uint32_t>(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 0x70 + static_cast<std::uint32_t>(qtKey - Qt::Key_F1);
    for (const KeyEntry& e : kKeyTable)
        if (e.qtKey == qtKey)
            return e.vk;
    return 0;
}

ScanCode ScanCodeOf(std::uint32_t nativeScanCode, std::uint32_t vk, bool keypad)
{
    ScanCode sc;
    if (nativeScanCode >= 8) {
        // X keycodes are evdev codes + 8. Below 89 they equal the PC
        // scan codes; the grey block and the right-hand modifiers are
        // the other platform's extended keys.
        const std::uint32_t ev = nativeScanCode - 8;
        struct Ext {
            std::uint32_t ev, scan;
        };
        static constexpr Ext kExtended[] = {
            {96, 0x1C}, {97, 0x1D}, {98, 0x35}, {99, 0x37}, {100, 0x38}, {102, 0x47}, {103, 0x48},
            {104, 0x49}, {105, 0x4B}, {106, 0x4D}, {107, 0x4F}, {108, 0x50}, {109, 0x51}, {110, 0x52},
            {111, 0x53}, {125, 0x5B}, {126, 0x5C}, {127, 0x5D},
        };
        if (ev < 89) {
            sc.code = ev;
            sc.extended = vk == 0x90;  // Num Lock shares Pause's code, extended
            return sc;
        }
        for (const Ext& e : kExtended)
            if (e.ev == ev)
                return {e.scan, true};
        if (ev == 119)
            return {0x45, false};  // Pause
    }
    sc.code = ScanFromVirtualKey(vk);
    sc.extended = IsExtendedVirtualKey(vk, keypad);
    return sc;
}

EventKeyState::EventKeyState(Qt::KeyboardModifiers modifiers, std::uint32_t ownKey, bool press)
    : shift_(modifiers.testFlag(Qt::ShiftModifier)),
      ctrl_(modifiers.testFlag(Qt::ControlModifier)),
      alt_(modifiers.testFlag(Qt::AltModifier))
{
    // The key state is that after the event: a modifier counts as down
    // on its own press and up on its own release, whatever the window
    // system reported with the event.
    if (ownKey == VK_SHIFT_)
        shift_ = press;
    else if (ownKey == VK_CONTROL_)
        ctrl_ = press;
    else if (ownKey == VK_MENU_)
        alt_ = press;
}

std::int16_t EventKeyState::GetKeyState(std::uint32_t vk) const
{
    bool down = false;
    if (vk == VK_SHIFT_)
        down = shift_;
    else if (vk == VK_CONTROL_)
        down = ctrl_;
    else if (vk == VK_MENU_)
        down = alt_;
    return down ? static_cast<std::int16_t>(0x8000 - 0x10000) : 0;
}

TranslatedKey TranslateKeyEvent(const QKeyEvent& event)
{
    TranslatedKey t;
    const bool press = event.type() == QEvent::KeyPress;
    if (!press && event.type() != QEvent::KeyRelease)
        return t;
    // Auto-repeat arrives as release/press pairs: only the presses count,
    // as repeated key-downs.
    if (!press && event.isAutoRepeat())
        return t;
    const bool keypad = event.modifiers().testFlag(Qt::KeypadModifier);
    const std::uint32_t vk = VirtualKeyOf(event.key(), event.modifiers(), keypad);
    if (vk == 0)
        return t;
    const EventKeyState state(event.modifiers(), vk, press);
    t.shift = state.GetKeyState(VK_SHIFT_) < 0;
    t.ctrl = state.GetKeyState(VK_CONTROL_) < 0;
    t.alt = state.GetKeyState(VK_MENU_) < 0;

    const bool system = t.alt || vk == VK_MENU_ || vk == 0x79;  // Alt, or F10
    t.msg.message = press ? (system ? WM_SYSKEYDOWN_ : WM_KEYDOWN_) : (system ? WM_SYSKEYUP_ : WM_KEYUP_);
    t.msg.wParam = vk;

    const ScanCode sc = ScanCodeOf(event.nativeScanCode(), vk, keypad);
    std::uint32_t l = 1;                      // repeat count
    l |= (sc.code & 0xFFu) << 16;             // scan code
    if (sc.extended)
        l |= 1u << 24;
    if (t.alt && system)
        l |= 1u << 29;                        // context code: Alt held
    if (!press || event.isAutoRepeat())
        l |= 1u << 30;                        // previous state: down
    if (!press)
        l |= 1u << 31;                        // transition: releasing
    t.msg.lParam = static_cast<std::int64_t>(l);
    t.valid = true;
    return t;
}

KeyForwardFilter::KeyForwardFilter(std::function<int()> passKeysTag, IWindowMessages& messages, QObject* parent,
                                   QWidget* scope)
    : QObject(parent), passKeysTag_(std::move(passKeysTag)), messages_(messages), scope_(scope),
      releaseTimer_(new QTimer(this))
{
    releaseTimer_->setSingleShot(true);
    releaseTimer_->setInterval(kRepeatPairWaitMs);
    connect(releaseTimer_, &QTimer::timeout, this, &KeyForwardFilter::FlushRelease);
}

namespace {

struct SnapshotKeys final : IKeyState {
    bool shift, ctrl, alt;
    SnapshotKeys(bool s, bool c, bool a) : shift(s), ctrl(c), alt(a) {}
    std::int16_t GetKeyState(std::uint32_t vk) const override
    {
        const bool down = vk == VK_SHIFT_ ? shift : vk == VK_CONTROL_ ? ctrl : vk == VK_MENU_ ? alt : false;
        return down ? static_cast<std::int16_t>(-32768) : 0;
    }
};

}  // namespace

void KeyForwardFilter::Forward(const TranslatedKey& t, int tag)
{
    KeyMessage msg = t.msg;
    AppMessage(msg, tag, SnapshotKeys(t.shift, t.ctrl, t.alt), messages_);
    lastMessage = msg;
    ++handled;
}

void KeyForwardFilter::FlushRelease()
{
    releaseTimer_->stop();
    if (!pending_)
        return;
    const Pending p = *pending_;
    pending_.reset();
    down_.erase(p.key);
    TranslatedKey t;
    t.valid = true;
    t.msg = p.msg;
    t.shift = p.shift;
    t.ctrl = p.ctrl;
    t.alt = p.alt;
    Forward(t, p.tag);
}

bool KeyForwardFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr)
        return false;
    const auto& key = *static_cast<QKeyEvent*>(event);
    const bool press = event->type() == QEvent::KeyPress;
    TranslatedKey t = TranslateKeyEvent(key);
    if (!t.valid)
        return false;
    const auto vk = static_cast<std::uint32_t>(t.msg.wParam);
    const std::uint64_t time = key.timestamp();
    const int tag = passKeysTag_ ? passKeysTag_() : 0;

    // One key event visits the native window, the focus widget and every
    // parent it is passed on to; it is one message, forwarded once: a press
    // when it reaches the widget that has the focus (or the window itself
    // when nothing has), a release wherever it first comes while its key is
    // down.
    bool forwarded = false;
    if (press) {
        QWidget* focus = QApplication::focusWidget();
        if (focus != nullptr ? widget != focus : !widget->isWindow())
            return false;
        bool repeat = key.isAutoRepeat();
        // Time 0: an event that carries no time (made by a program), which
        // cannot be paired.
        if (pending_ && pending_->key == vk && time != 0 && pending_->time == time) {
            pending_.reset();  // auto-repeat that Qt did not recognise
            releaseTimer_->stop();
            repeat = true;
        } else {
            FlushRelease();
        }
        if (down_.count(vk) != 0)
            repeat = true;
        down_.insert(vk);
        if (repeat)
            t.msg.lParam |= std::int64_t{1} << 30;  // previous state: down
        Forward(t, tag);
        forwarded = true;
    } else {
        if (down_.count(vk) == 0 || (pending_ && pending_->key == vk))
            return false;  // its press was not forwarded, or this is a later stop of the same release
        FlushRelease();
        pending_ = Pending{t.msg, t.shift, t.ctrl, t.alt, vk, time, tag};
        releaseTimer_->start();
        forwarded = true;
    }

    // The analyzer's own controls see the changed code, that is no key.
    if (forwarded && scope_ != nullptr && widget->window() == scope_ && tag == 1 &&
        !t.alt && vk != VK_SCROLL_ && vk != VK_SHIFT_ && vk != VK_CONTROL_ && (t.shift || t.ctrl))
        return true;
    return false;
}
