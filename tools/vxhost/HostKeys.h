// `vxhost keys`: stands in for the host's main window and prints every key
// message the analyzer forwards to it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

#include "HostCommands.h"

namespace vxhost {

// The handle the stand-in window gives in answer to the key-target query
// on the session bus (on Windows it is the window's own).
inline constexpr std::int64_t kKeysWindowHandle = 0x4B455953;  // "KEYS"

// Name of a virtual-key code ("A", "F10", "Shift", "Scroll Lock"), or
// "VK 0xNN" for codes without a name.
std::string VirtualKeyName(std::uint32_t virtualKey);

// "0x" and lower-case hex digits, at least `width` of them.
std::string Hex(std::uint64_t v, int width = 0);

// One printed line, without the newline:
//   WM_KEYDOWN wParam=0x341 lParam=0x001e0001 key=Shift+Ctrl+A
// Shift/Ctrl come from the flag bits the analyzer folds into wParam.
std::string FormatKeyPost(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam);

// The system's part (linux/ and windows/HostKeys.cpp).
vxtools::TToolOptions KeysOptions();
int RunKeys(const GlobalOptions& options, std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace vxhost
