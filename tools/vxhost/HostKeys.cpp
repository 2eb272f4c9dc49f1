// What both systems' vxhost keys print: key names and one line per message.
#include "HostKeys.h"

#include <cstdio>

#include "KeyForwarding.h"

namespace vxhost {

std::string Hex(std::uint64_t v, int width)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*llx", width, static_cast<unsigned long long>(v));
    return buf;
}

std::string VirtualKeyName(std::uint32_t vk)
{
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        return std::string(1, static_cast<char>(vk));
    // Appended, not "F" + number: GCC 12 at -O3 takes that for an
    // overlapping copy (-Wrestrict).
    if (vk >= 0x70 && vk <= 0x87)
        return std::string("F").append(std::to_string(vk - 0x70 + 1));
    if (vk >= 0x60 && vk <= 0x69)
        return std::string("Num ").append(std::to_string(vk - 0x60));
    switch (vk) {
    case 0x08: return "Backspace";
    case 0x09: return "Tab";
    case 0x0C: return "Clear";
    case 0x0D: return "Enter";
    case 0x10: return "Shift";
    case 0x11: return "Ctrl";
    case 0x12: return "Alt";
    case 0x13: return "Pause";
    case 0x14: return "Caps Lock";
    case 0x1B: return "Esc";
    case 0x20: return "Space";
    case 0x21: return "Page Up";
    case 0x22: return "Page Down";
    case 0x23: return "End";
    case 0x24: return "Home";
    case 0x25: return "Left";
    case 0x26: return "Up";
    case 0x27: return "Right";
    case 0x28: return "Down";
    case 0x2C: return "Print Screen";
    case 0x2D: return "Insert";
    case 0x2E: return "Delete";
    case 0x5B: return "Left Win";
    case 0x5C: return "Right Win";
    case 0x5D: return "Menu";
    case 0x6A: return "Num *";
    case 0x6B: return "Num +";
    case 0x6C: return "Separator";
    case 0x6D: return "Num -";
    case 0x6E: return "Num .";
    case 0x6F: return "Num /";
    case 0x90: return "Num Lock";
    case 0x91: return "Scroll Lock";
    case 0xBA: return ";";
    case 0xBB: return "=";
    case 0xBC: return ",";
    case 0xBD: return "-";
    case 0xBE: return ".";
    case 0xBF: return "/";
    case 0xC0: return "`";
    case 0xDB: return "[";
    case 0xDC: return "\\";
    case 0xDD: return "]";
    case 0xDE: return "'";
    default: return "VK " + Hex(vk, 2);
    }
}

std::string FormatKeyPost(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam)
{
    std::string name;
    switch (message) {
    case WM_KEYDOWN_: name = "WM_KEYDOWN"; break;
    case WM_KEYUP_: name = "WM_KEYUP"; break;
    case WM_SYSKEYDOWN_: name = "WM_SYSKEYDOWN"; break;
    case WM_SYSKEYUP_: name = "WM_SYSKEYUP"; break;
    default: name = std::to_string(message); break;
    }
    std::string key;
    const std::uint32_t vk = static_cast<std::uint32_t>(wParam & 0xFF);
    if ((wParam & kKeyShiftFlag) != 0 && vk != VK_SHIFT_)
        key += "Shift+";
    if ((wParam & kKeyCtrlFlag) != 0 && vk != VK_CONTROL_)
        key += "Ctrl+";
    key += VirtualKeyName(vk);
    // lParam is a 32-bit value on the other platform; print it that way
    // so a negative (bit 31 set) key-up reads as 0xc0..., not 0xffff....
    return name + " wParam=" + Hex(wParam) + " lParam=" + Hex(static_cast<std::uint32_t>(lParam), 8) +
           " key=" + key;
}

}  // namespace vxhost
