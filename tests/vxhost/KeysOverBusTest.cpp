// Keys typed into a real widget reach `vxhost keys` over the session bus.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "BusWindowMessages.h"
#include "HostKeys.h"
#include "QtKeyMessages.h"

namespace {

bool HaveBus()
{
    return std::getenv("DBUS_SESSION_BUS_ADDRESS") != nullptr && QDBusConnection::sessionBus().isConnected();
}

// `vxhost keys` as a child process, its output in a file.
class KeysHost {
public:
    KeysHost() : path_("/tmp/vxkeys-" + std::to_string(getpid()) + ".out")
    {
        pid_ = fork();
        if (pid_ == 0) {
            if (!freopen(path_.c_str(), "w", stdout))
                _exit(127);
            execl(VXHOST_PATH, VXHOST_PATH, "keys", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~KeysHost()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        unlink(path_.c_str());
    }
    // Exit status after SIGINT, as Ctrl+C.
    int Stop()
    {
        kill(pid_, SIGINT);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Output() const
    {
        std::ifstream in(path_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    std::string path_;
    pid_t pid_ = -1;
};

void Type(QWidget& w, int key, Qt::KeyboardModifiers mods, quint32 xkey)
{
    QKeyEvent press(QEvent::KeyPress, key, mods, xkey, 0, 0);
    QApplication::sendEvent(&w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, xkey, 0, 0);
    QApplication::sendEvent(&w, &release);
}

int CountLines(const std::string& s)
{
    int n = 0;
    for (char c : s)
        n += c == '\n';
    return n;
}

TEST(KeysOverBus, TypedKeysReachTheHostToolOnceEach)
{
    if (!HaveBus())
        GTEST_SKIP() << "no session bus";
    KeysHost host;
    BusWindowMessages bus(QDBusConnection::sessionBus(), 1000);
    QElapsedTimer t;
    t.start();
    while (bus.FindWindow(kHostWindowClass) == 0 && t.elapsed() < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_NE(bus.FindWindow(kHostWindowClass), 0u);

    QWidget window;
    window.setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.setFocus();
    int tag = 0;
    KeyForwardFilter filter([&] { return tag; }, bus);
    qApp->installEventFilter(&filter);

    // Switch off: nothing goes out. Shift wins over Ctrl: never both flags.
    Type(window, Qt::Key_A, Qt::NoModifier, 38);
    tag = 1;
    Type(window, Qt::Key_A, Qt::ShiftModifier | Qt::ControlModifier, 38);
    Type(window, Qt::Key_A, Qt::AltModifier, 38);          // Alt: never
    Type(window, Qt::Key_ScrollLock, Qt::NoModifier, 78);  // never
    filter.FlushRelease();  // the last release waits for a press that would pair with it
    qApp->removeEventFilter(&filter);

    std::string out;
    t.restart();
    while (CountLines(out = host.Output()) < 2 && t.elapsed() < 3000)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(host.Stop(), 0);
    out = host.Output();
    EXPECT_EQ(out,
              "WM_KEYDOWN wParam=0x141 lParam=0x001e0001 key=Shift+A\n"
              "WM_KEYUP wParam=0x141 lParam=0xc01e0001 key=Shift+A\n");
}

TEST(KeysOverBus, NoHostMeansNoPostAndNoWait)
{
    if (!HaveBus())
        GTEST_SKIP() << "no session bus";
    BusWindowMessages bus(QDBusConnection::sessionBus(), 1000);
    if (bus.FindWindow(kHostWindowClass) != 0)
        GTEST_SKIP() << "a host window is running";
    QWidget window;
    KeyForwardFilter filter([] { return 1; }, bus);
    qApp->installEventFilter(&filter);
    QElapsedTimer t;
    t.start();
    Type(window, Qt::Key_A, Qt::NoModifier, 38);
    filter.FlushRelease();
    qApp->removeEventFilter(&filter);
    EXPECT_EQ(filter.handled, 2);
    EXPECT_LT(t.elapsed(), 1000);
}

TEST(KeysFormat, LinesNameTheMessageAndKey)
{
    EXPECT_EQ(vxhost::FormatKeyPost(0x0100, 0x10, 0x002A0001), "WM_KEYDOWN wParam=0x10 lParam=0x002a0001 key=Shift");
    EXPECT_EQ(vxhost::FormatKeyPost(0x0105, 0x79, static_cast<std::int32_t>(0xC0440001)),
              "WM_SYSKEYUP wParam=0x79 lParam=0xc0440001 key=F10");
    EXPECT_EQ(vxhost::FormatKeyPost(0x0200, 0xFF, 0), "512 wParam=0xff lParam=0x00000000 key=VK 0xff");
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
