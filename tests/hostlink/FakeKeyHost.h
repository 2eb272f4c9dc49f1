// A host window for the key forwarding tests: it names a key target and
// records what is posted to it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "WindowMessages.h"

// A host that records what reaches it.
class FakeHost final : public IWindowMessages {
public:
    bool running = true;
    std::int64_t target = 0x777;
    int lookups = 0;
    std::vector<std::array<std::uint32_t, 3>> posted;  // message, wParam, lParam

    WindowHandle FindWindowByClass(const std::string& cls) override
    {
        ++lookups;
        return running && cls == "TVxMainForm" ? 0x10 : 0;
    }
    std::int64_t Send(WindowHandle w, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) override
    {
        // Only the key-target query, to the host's window.
        EXPECT_EQ(std::make_tuple(w, message, wParam, lParam),
                  std::make_tuple(WindowHandle{0x10}, 0x0A40u, std::uint64_t{0x81}, std::int64_t{0}));
        return target;
    }
    std::optional<std::int64_t> SendTimeout(WindowHandle w, std::uint32_t message, std::uint64_t wParam,
                                            std::int64_t lParam, int) override
    {
        return Send(w, message, wParam, lParam);
    }
    bool Post(WindowHandle w, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) override
    {
        EXPECT_EQ(w, static_cast<WindowHandle>(target));
        posted.push_back({message, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam)});
        return true;
    }
};
