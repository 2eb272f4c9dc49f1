// Window messages over the D-Bus session bus.
//
// A top-level window of class C is the bus name "org.corvane.vx.C",
// object /Window, interface org.corvane.vx.Window:
//   SendMessage(u message, t wParam, x lParam) -> x result   (caller waits)
//   PostMessage(t window, u message, t wParam, x lParam)      (no reply)
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <mutex>

#include "WindowMessages.h"

inline constexpr const char* kBusNamePrefix = "org.corvane.vx.";
inline constexpr const char* kBusObjectPath = "/Window";
inline constexpr const char* kBusInterface = "org.corvane.vx.Window";

QString BusNameForClass(const QString& className);

// Client side: FindWindowA / SendMessageA / PostMessageA.
class BusWindowMessages final : public IWindowMessages {
public:
    // replyTimeoutMs < 0: the bus's own reply timeout.
    explicit BusWindowMessages(QDBusConnection connection = QDBusConnection::sessionBus(), int replyTimeoutMs = -1);

    WindowHandle FindWindowByClass(const std::string& className) override;
    std::int64_t Send(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                             std::int64_t lParam) override;
    std::optional<std::int64_t> SendTimeout(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                                            std::int64_t lParam, int timeoutMs) override;
    bool Post(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                     std::int64_t lParam) override;

    bool Connected() const { return connection_.isConnected(); }
    // Handles that stand for a bus name at the moment, at most kMaxKnownHandles.
    std::size_t KnownHandles();
    static constexpr std::size_t kMaxKnownHandles = 64;

private:
    // Handles stand for the bus name that produced them: the one found by
    // FindWindowByClass, and any handle that window gave in a reply, so that a
    // message posted to a handle reaches the window that named it.
    QString ServiceOf(WindowHandle window);
    void Remember(WindowHandle window, const QString& service);
    void Insert(WindowHandle window, const QString& service);  // mutex_ held

    QDBusConnection connection_;
    int timeoutMs_;
    std::mutex mutex_;
    std::map<WindowHandle, QString> services_;
};

// Server side: the object that makes a window reachable by class name.
class BusWindowAdaptor final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.corvane.vx.Window")
public:
    using SendHandler = std::function<std::int64_t(std::uint32_t, std::uint64_t, std::int64_t)>;
    using PostHandler = std::function<void(std::uint64_t, std::uint32_t, std::uint64_t, std::int64_t)>;

    BusWindowAdaptor(SendHandler onSend, PostHandler onPost, QObject* parent = nullptr);

public slots:
    qlonglong SendMessage(uint message, qulonglong wParam, qlonglong lParam);
    Q_NOREPLY void PostMessage(qulonglong window, uint message, qulonglong wParam, qlonglong lParam);

private:
    SendHandler onSend_;
    PostHandler onPost_;
};

// Publishes a window of the given class on the session bus. A second
// owner of the same class waits in the bus's queue for the name.
class BusWindow {
public:
    BusWindow(const QString& className, BusWindowAdaptor::SendHandler onSend,
              BusWindowAdaptor::PostHandler onPost = {},
              QDBusConnection connection = QDBusConnection::sessionBus());
    ~BusWindow();

    // False when there is no session bus (or the object could not be
    // registered); the reason is in Error().
    bool Published() const { return published_; }
    // True once this process owns the name (not merely queued).
    bool OwnsName() const;
    QString Error() const { return error_; }

private:
    QDBusConnection connection_;
    QString name_;
    BusWindowAdaptor adaptor_;
    bool published_ = false;
    QString error_;
};
