#include "HostKeys.h"

#include <csignal>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <memory>
#include <ostream>

#include "BusWindowMessages.h"
#include "KeyForwarding.h"

namespace vxhost {

namespace {

std::atomic<bool> gStopKeys{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnKeysStopSignal(int)
{
    gStopKeys.store(true, std::memory_order_relaxed);
}

class KeysStopSignals {
public:
    KeysStopSignals()
    {
        struct sigaction sa {};
        sa.sa_handler = OnKeysStopSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &oldInt_);
        sigaction(SIGTERM, &sa, &oldTerm_);
    }
    ~KeysStopSignals()
    {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    KeysStopSignals(const KeysStopSignals&) = delete;
    KeysStopSignals& operator=(const KeysStopSignals&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
};

std::string Hex(std::uint64_t v, int width = 0)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%0*llx", width, static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace

std::string VirtualKeyName(std::uint32_t vk)
{
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        return std::string(1, static_cast<char>(vk));
    // Appended, not "literal" + std::string: GCC 12 at -O3 sees a false
    // overlap (-Wrestrict) in the latter.
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

std::string KeysHelp()
{
    return "Usage: vxhost keys\n"
           "\n"
           "Stands in for the host's main window: owns the bus name\n"
           "org.corvane.vx.TVxMainForm, answers the analyzer's key-target query\n"
           "(message 0x0A40) with the window handle " +
           Hex(static_cast<std::uint64_t>(kKeysWindowHandle)) +
           ", and prints one line per\n"
           "message posted to it:\n"
           "  WM_KEYDOWN wParam=0x341 lParam=0x001e0001 key=Shift+Ctrl+A\n"
           "Ctrl+C ends it (exit status 0). Needs the session bus (exit status 1\n"
           "without one). If another host window owns the name, this one waits in\n"
           "the bus's queue and says so.\n";
}

int RunKeys(const GlobalOptions&, std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            out << KeysHelp();
            return kExitOk;
        }
        err << "vxhost keys: unknown argument '" << arg << "' (try 'vxhost keys --help')\n";
        return kExitUsage;
    }

    // Qt's bus layer needs an application object and its event loop.
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "vxhost";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr)
        app = std::make_unique<QCoreApplication>(argc, argv);

    gStopKeys.store(false, std::memory_order_relaxed);
    const KeysStopSignals stopSignals;
    bool outputFailed = false;
    BusWindow window(
        QString::fromLatin1(kHostWindowClass),
        [](std::uint32_t message, std::uint64_t wParam, std::int64_t) -> std::int64_t {
            if (message == kHostKeyTargetQuery && wParam == kKeyTargetQueryWParam)
                return kKeysWindowHandle;
            return 0;
        },
        [&](std::uint64_t, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
            out << FormatKeyPost(message, wParam, lParam) << "\n" << std::flush;
            if (!out)
                outputFailed = true;
        });
    if (!window.Published()) {
        err << "vxhost keys: " << window.Error().toStdString() << "\n";
        return kExitFailure;
    }

    // The signal handler only sets a flag; a timer looks at it, so the
    // loop sleeps between bus messages instead of spinning.
    QEventLoop loop;
    QTimer stopCheck;
    int rounds = 0;
    bool toldQueued = false;
    QObject::connect(&stopCheck, &QTimer::timeout, &loop, [&] {
        if (gStopKeys.load(std::memory_order_relaxed) || outputFailed)
            loop.quit();
        if (++rounds == 20 && !toldQueued && !window.OwnsName()) {
            err << "vxhost keys: another window owns " << kBusNamePrefix << kHostWindowClass
                << "; waiting for it to go\n";
            toldQueued = true;
        }
    });
    stopCheck.start(50);
    loop.exec();
    return outputFailed ? kExitFailure : kExitOk;
}

}  // namespace vxhost
