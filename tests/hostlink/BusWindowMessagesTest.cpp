#include <unistd.h>

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QEventLoop>
#include <QElapsedTimer>
#include <QTest>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "BusWindowMessages.h"
#include "KeyForwarding.h"

namespace {

// Waits with a deadline; the windows answer from threads of their own.
template <typename Pred>
bool WaitFor(Pred pred)
{
    return QTest::qWaitFor(pred, 3000);
}

TEST(BusWindowMessages, FindSendAndPostReachTheNamedWindow)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    const QString cls = QStringLiteral("VxTest%1_send").arg(getpid());
    BusWindowMessages bus;
    EXPECT_EQ(bus.FindWindowByClass(cls.toStdString()), 0u) << "nothing published yet";

    // The window, published from a thread of its own with its own
    // connection, so that this thread blocks on a call the way another
    // process would. It names 0x55AA as the key target, adds up other
    // messages, and answers 0x0B00 only after a second.
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> posted{0};
    std::thread server([&] {
        QDBusConnection conn = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "server");
        {
            BusWindow window(
                cls,
                [](std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
                    if (message == 0x0B00)
                        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                    return message == 0x0A40 ? 0x55AA : static_cast<std::int64_t>(message + wParam + lParam);
                },
                [&](std::uint64_t window, std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) {
                    posted = window + message + wParam + static_cast<std::uint64_t>(lParam);
                },
                conn);
            for (QEventLoop loop; !stop;) {
                loop.processEvents(QEventLoop::AllEvents, 20);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        QDBusConnection::disconnectFromBus("server");
    });
    // Ends the window's thread however the test ends.
    struct Join {
        std::atomic<bool>& stop;
        std::thread& thread;
        ~Join()
        {
            stop = true;
            thread.join();
        }
    } join{stop, server};
    ASSERT_TRUE(WaitFor([&] { return bus.FindWindowByClass(cls.toStdString()) != 0; }));

    const WindowHandle w = bus.FindWindowByClass(cls.toStdString());
    EXPECT_EQ(bus.Send(w, 7, 8, -1), 14);
    // The handle the window names in its reply is where posts go.
    const auto target = static_cast<WindowHandle>(bus.Send(w, 0x0A40, 0x81, 0));
    ASSERT_EQ(target, 0x55AAu);
    EXPECT_TRUE(bus.Post(target, 0x0100, 0x41, 0x1E0001));
    EXPECT_TRUE(WaitFor([&] { return posted.load() == 0x55AAu + 0x0100u + 0x41u + 0x1E0001u; }));

    EXPECT_FALSE(bus.Post(12345, 1, 2, 3)) << "an unknown handle reaches nobody";
    EXPECT_EQ(bus.Send(0, 1, 2, 3), 0);

    // A lookup for every key message, and a host naming a new target in
    // every reply, keep the table of handles bounded.
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(bus.FindWindowByClass(cls.toStdString()), w);
        bus.Send(w, 1000 + i, 0, 0);
    }
    EXPECT_LE(bus.KnownHandles(), BusWindowMessages::kMaxKnownHandles);
    EXPECT_EQ(bus.Send(bus.FindWindowByClass(cls.toStdString()), 7, 8, -1), 14);

    // A window that does not answer in time costs only the timeout.
    BusWindowMessages impatient(QDBusConnection::sessionBus(), kKeyTargetQueryTimeoutMs);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(impatient.Send(impatient.FindWindowByClass(cls.toStdString()), 0x0B00, 0, 0), 0);
    EXPECT_LT(t.elapsed(), 800);
}

TEST(BusWindowMessages, SecondOwnerOfAClassWaitsForTheName)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    const QString cls = QStringLiteral("VxTest%1_queue").arg(getpid());
    const auto answer = [](std::uint32_t, std::uint64_t, std::int64_t) { return std::int64_t{2}; };
    QDBusConnection one = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "first");
    QDBusConnection two = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second");
    {
        auto first = std::make_unique<BusWindow>(cls, answer, nullptr, one);
        BusWindowMessages bus;
        ASSERT_TRUE(WaitFor([&] { return bus.FindWindowByClass(cls.toStdString()) != 0; }));
        BusWindow second(cls, answer, nullptr, two);
        ASSERT_TRUE(second.Published());
        EXPECT_FALSE(second.OwnsName());
        first.reset();
        EXPECT_TRUE(WaitFor([&] { return second.OwnsName(); }));
    }
    QDBusConnection::disconnectFromBus("first");
    QDBusConnection::disconnectFromBus("second");
}

}  // namespace
