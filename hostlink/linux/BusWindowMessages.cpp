#include "BusWindowMessages.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariant>

QString BusNameForClass(const QString& className)
{
    return QString::fromLatin1(kBusNamePrefix) + className;
}

// ---- client -------------------------------------------------------------

BusWindowMessages::BusWindowMessages(QDBusConnection connection, int replyTimeoutMs)
    : connection_(std::move(connection)), timeoutMs_(replyTimeoutMs)
{
}

WindowHandle BusWindowMessages::FindWindowByClass(const std::string& className)
{
    if (!connection_.isConnected() || connection_.interface() == nullptr)
        return 0;
    const QString service = BusNameForClass(QString::fromStdString(className));
    const QDBusReply<bool> owned = connection_.interface()->isServiceRegistered(service);
    if (!owned.isValid() || !owned.value())
        return 0;
    // Our own handles carry the top bit, so they rarely meet a host's. A
    // window keeps its handle, so that looking it up for every key message
    // does not grow the table.
    static std::uint64_t next = 1;
    std::lock_guard lock(mutex_);
    for (const auto& [handle, known] : services_)
        if (known == service && (handle >> 63) != 0)
            return handle;
    const WindowHandle handle = (std::uint64_t{1} << 63) | next++;
    Insert(handle, service);
    return handle;
}

QString BusWindowMessages::ServiceOf(WindowHandle window)
{
    std::lock_guard lock(mutex_);
    auto it = services_.find(window);
    return it == services_.end() ? QString() : it->second;
}

void BusWindowMessages::Remember(WindowHandle window, const QString& service)
{
    if (window == 0)
        return;
    std::lock_guard lock(mutex_);
    Insert(window, service);
}

void BusWindowMessages::Insert(WindowHandle window, const QString& service)
{
    // A host naming a new window in every reply must not grow the table
    // without end: the windows named in replies go first (the next query
    // names its target again), the looked-up ones only when those alone
    // fill it.
    if (services_.size() >= kMaxKnownHandles && services_.count(window) == 0) {
        std::erase_if(services_, [](const auto& entry) { return (entry.first >> 63) == 0; });
        if (services_.size() >= kMaxKnownHandles)
            services_.clear();
    }
    services_[window] = service;
}

std::size_t BusWindowMessages::KnownHandles()
{
    std::lock_guard lock(mutex_);
    return services_.size();
}

std::int64_t BusWindowMessages::Send(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                                     std::int64_t lParam)
{
    return SendTimeout(window, message, wParam, lParam, timeoutMs_).value_or(0);
}

std::optional<std::int64_t> BusWindowMessages::SendTimeout(WindowHandle window, std::uint32_t message,
                                                           std::uint64_t wParam, std::int64_t lParam, int timeoutMs)
{
    const QString service = ServiceOf(window);
    if (service.isEmpty() || !connection_.isConnected())
        return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(service, kBusObjectPath, kBusInterface, "SendMessage");
    call << static_cast<uint>(message) << static_cast<qulonglong>(wParam) << static_cast<qlonglong>(lParam);
    const QDBusMessage reply = connection_.call(call, QDBus::Block, timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    const std::int64_t result = reply.arguments().first().toLongLong();
    // A reply naming a window (the key target) belongs to this service.
    Remember(static_cast<WindowHandle>(result), service);
    return result;
}

bool BusWindowMessages::Post(WindowHandle window, std::uint32_t message, std::uint64_t wParam,
                                    std::int64_t lParam)
{
    const QString service = ServiceOf(window);
    if (service.isEmpty() || !connection_.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(service, kBusObjectPath, kBusInterface, "PostMessage");
    call << static_cast<qulonglong>(window) << static_cast<uint>(message) << static_cast<qulonglong>(wParam)
         << static_cast<qlonglong>(lParam);
    call.setAutoStartService(false);
    return connection_.send(call);
}

std::unique_ptr<IWindowMessages> PlatformWindowMessages(int sendTimeoutMs)
{
    return std::make_unique<BusWindowMessages>(QDBusConnection::sessionBus(), sendTimeoutMs);
}

// ---- server -------------------------------------------------------------

BusWindowAdaptor::BusWindowAdaptor(SendHandler onSend, PostHandler onPost, QObject* parent)
    : QObject(parent), onSend_(std::move(onSend)), onPost_(std::move(onPost))
{
}

qlonglong BusWindowAdaptor::SendMessage(uint message, qulonglong wParam, qlonglong lParam)
{
    return onSend_ ? onSend_(message, wParam, lParam) : 0;
}

void BusWindowAdaptor::PostMessage(qulonglong window, uint message, qulonglong wParam, qlonglong lParam)
{
    if (onPost_)
        onPost_(window, message, wParam, lParam);
}

BusWindow::BusWindow(const QString& className, BusWindowAdaptor::SendHandler onSend,
                     BusWindowAdaptor::PostHandler onPost, QDBusConnection connection)
    : connection_(std::move(connection)),
      name_(BusNameForClass(className)),
      adaptor_(std::move(onSend), std::move(onPost))
{
    if (!connection_.isConnected() || connection_.interface() == nullptr) {
        error_ = connection_.lastError().message();
        if (error_.isEmpty())
            error_ = QStringLiteral("no session bus");
        return;
    }
    if (!connection_.registerObject(kBusObjectPath, &adaptor_, QDBusConnection::ExportAllSlots)) {
        error_ = QStringLiteral("cannot register %1 on the session bus").arg(kBusObjectPath);
        return;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = connection_.interface()->registerService(
        name_, QDBusConnectionInterface::QueueService, QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        connection_.unregisterObject(kBusObjectPath);
        error_ = reply.error().message();
        return;
    }
    published_ = true;
}

BusWindow::~BusWindow()
{
    if (!published_)
        return;
    connection_.interface()->unregisterService(name_);
    connection_.unregisterObject(kBusObjectPath);
}

bool BusWindow::OwnsName() const
{
    if (!published_)
        return false;
    const QDBusReply<QString> owner = connection_.interface()->serviceOwner(name_);
    return owner.isValid() && owner.value() == connection_.baseService();
}
