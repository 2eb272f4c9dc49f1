#include <gtest/gtest.h>

#include <set>

#include "FakeKeyHost.h"
#include "KeyForwarding.h"

namespace {

class TKeysDown final : public IKeyState {
public:
    explicit TKeysDown(std::set<std::uint32_t> down) : down_(std::move(down)) {}
    std::int16_t GetKeyState(std::uint32_t key) const override
    {
        return down_.count(key) != 0 ? static_cast<std::int16_t>(0x8000) : std::int16_t{0};
    }

private:
    std::set<std::uint32_t> down_;
};

// The hook on its own, as every system's key translation reaches it: which
// messages leave, how Shift and Ctrl fold into the code, and when the host
// is asked for its target (anew for each key, never with the switch off).
TEST(KeyForwarding, HookDecidesWhatLeavesAndHow)
{
    const KeyMessage a{0x0100, 0x41, 0x001E0001};
    const struct {
        const char* name;
        KeyMessage msg;
        std::set<std::uint32_t> down;
        std::vector<std::array<std::uint32_t, 3>> posted;
        int lookups;
        int tag = 1;
        bool running = true;
        std::int64_t target = 0x777;
    } cases[] = {
        {"key down", a, {}, {{0x0100, 0x41, 0x001E0001}}, 1},
        {"key up", {0x0101, 0x41, 0xC01E0001}, {}, {{0x0101, 0x41, 0xC01E0001}}, 1},
        {"system keys", {0x0104, 0x79, 0x00440001}, {}, {{0x0104, 0x79, 0x00440001}}, 1},
        {"system key up", {0x0105, 0x79, 0xC0440001}, {}, {{0x0105, 0x79, 0xC0440001}}, 1},
        {"other messages stay", {0x0102, 0x41, 0}, {}, {}, 0},
        {"Shift folds in", a, {0x10}, {{0x0100, 0x141, 0x001E0001}}, 1},
        {"Ctrl folds in", a, {0x11}, {{0x0100, 0x241, 0x001E0001}}, 1},
        {"Shift wins over Ctrl", a, {0x10, 0x11}, {{0x0100, 0x141, 0x001E0001}}, 1},
        {"Alt keeps the key", a, {0x12}, {}, 0},
        {"Scroll Lock stays", {0x0100, 0x91, 0x00460001}, {}, {}, 0},
        {"switch off", a, {}, {}, 0, 0},
        {"any other tag is off", a, {}, {}, 0, 2},
        {"no host", a, {}, {}, 1, 1, false},
        {"host names no target", a, {}, {}, 1, 1, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        host.running = c.running;
        host.target = c.target;
        KeyMessage msg = c.msg;
        AppMessage(msg, c.tag, TKeysDown(c.down), host);
        EXPECT_EQ(host.posted, c.posted);
        EXPECT_EQ(host.lookups, c.lookups);
    }
}

}  // namespace
