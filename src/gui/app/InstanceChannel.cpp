#include "gui/app/InstanceChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <vector>

namespace tapewell::gui {
namespace instance {
namespace {

using Clock = std::chrono::steady_clock;

// A start that finds the lock taken while the first instance is still on its
// way to listening tries again this often.
constexpr int kConnectRetryMs = 50;

const char kSocketName[] = "Tapewell.sock";

std::string ToStd(const QString& text) {
    return text.toStdString();
}

bool IsUsableRuntimeFolder(const QString& folder) {
    return !folder.isEmpty() && QDir::isAbsolutePath(folder) && QFileInfo(folder).isDir();
}

// The per-user folder in the shared temp folder: anyone may have made that
// name first, so it is used only when it is a real folder of ours that
// nobody else can enter.
bool MakePrivateFolder(const QString& folder, QString* error) {
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        *error = QCoreApplication::translate("InstanceChannel", "cannot create the folder %1: %2")
                     .arg(folder, qt_error_string(errno));
        return false;
    }
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0) {
        *error = QCoreApplication::translate("InstanceChannel", "cannot read the folder %1: %2")
                     .arg(folder, qt_error_string(errno));
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        *error = QCoreApplication::translate(
                     "InstanceChannel", "%1 is not a folder (a link or a file is in its place)")
                     .arg(folder);
        return false;
    }
    if (info.st_uid != ::getuid()) {
        *error =
            QCoreApplication::translate("InstanceChannel", "the folder %1 belongs to another user")
                .arg(folder);
        return false;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0) {
        *error =
            QCoreApplication::translate("InstanceChannel", "cannot make the folder %1 private: %2")
                .arg(folder, qt_error_string(errno));
        return false;
    }
    return true;
}

// "5 seconds", "1 second", "300 ms": how long the sender waited.
QString DescribeWait(int timeoutMs) {
    if (timeoutMs == 1000) {
        return QCoreApplication::translate("InstanceChannel", "1 second");
    }
    if (timeoutMs > 0 && timeoutMs % 1000 == 0) {
        return QCoreApplication::translate("InstanceChannel", "%1 seconds").arg(timeoutMs / 1000);
    }
    return QCoreApplication::translate("InstanceChannel", "%1 ms").arg(timeoutMs);
}

// Rounded up, so that a wait never ends before the deadline.
int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

// Waits until fd reports one of events (or an error or hang-up, which the
// next call on it reports) before the deadline. False with errno ETIMEDOUT
// when the deadline passed first.
bool WaitReady(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, RemainingMs(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

uint32_t GetLe32(const char* bytes) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<uint8_t>(bytes[i]);
    }
    return value;
}

std::vector<uint8_t> EncodeHandOver(int32_t mode, const std::string& text) {
    std::vector<uint8_t> message;
    message.reserve(kHandOverHeadBytes + text.size());
    message.push_back(kHandOverVersion);
    PutLe32(message, static_cast<uint32_t>(mode));
    PutLe32(message, static_cast<uint32_t>(text.size()));
    message.insert(message.end(), text.begin(), text.end());
    return message;
}

// ENOENT: no socket file yet; ECONNREFUSED: a file nobody listens on (the
// first instance not listening yet, or a stale file it is about to replace);
// EAGAIN: its queue of connections waiting to be accepted is full.
bool IsWorthRetrying(int error) {
    return error == ENOENT || error == ECONNREFUSED || error == EAGAIN;
}

// Connects a non-blocking socket; 0 when connected, else the errno.
int TryConnect(int fd, const sockaddr_un& address, Clock::time_point deadline) {
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
        return 0;
    }
    if (errno != EINPROGRESS && errno != EINTR) {
        return errno;
    }
    if (!WaitReady(fd, POLLOUT, deadline)) {
        return errno;
    }
    int pending = 0;
    socklen_t length = sizeof(pending);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) {
        return errno;
    }
    return pending;
}

// The connected socket, or -1 with *error set.
int ConnectBefore(const sockaddr_un& address, const QString& path, Clock::time_point deadline,
                  int timeoutMs, std::string* error) {
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            *error =
                ToStd(QCoreApplication::translate("InstanceChannel", "cannot make a socket: %1")
                          .arg(qt_error_string(errno)));
            return -1;
        }
        const int result = TryConnect(fd, address, deadline);
        if (result == 0) {
            return fd;
        }
        ::close(fd);
        if (result != ETIMEDOUT && !IsWorthRetrying(result)) {
            *error =
                ToStd(QCoreApplication::translate(
                          "InstanceChannel", "cannot connect to the running Tapewell at %1: %2")
                          .arg(path, qt_error_string(result)));
            return -1;
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            *error =
                ToStd(QCoreApplication::translate(
                          "InstanceChannel", "the running Tapewell did not answer at %1 within %2")
                          .arg(path, DescribeWait(timeoutMs)));
            return -1;
        }
        ::poll(nullptr, 0, std::min(left, kConnectRetryMs));
    }
}

std::string NoAnswer(int timeoutMs) {
    return ToStd(QCoreApplication::translate("InstanceChannel",
                                             "no answer from the running Tapewell within %1")
                     .arg(DescribeWait(timeoutMs)));
}

std::string ClosedEarly() {
    return ToStd(QCoreApplication::translate(
        "InstanceChannel", "the running Tapewell closed the connection without taking the item"));
}

bool SendAll(int fd, const std::vector<uint8_t>& bytes, Clock::time_point deadline, int timeoutMs,
             std::string* error) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReady(fd, POLLOUT, deadline)) {
                *error = errno == ETIMEDOUT ? NoAnswer(timeoutMs) : ClosedEarly();
                return false;
            }
        } else {
            *error = ClosedEarly();
            return false;
        }
    }
    return true;
}

bool ReceiveAck(int fd, Clock::time_point deadline, int timeoutMs, std::string* error) {
    for (;;) {
        if (!WaitReady(fd, POLLIN, deadline)) {
            *error = errno == ETIMEDOUT ? NoAnswer(timeoutMs) : ClosedEarly();
            return false;
        }
        uint8_t answer = 0;
        const ssize_t n = ::recv(fd, &answer, 1, 0);
        if (n == 1) {
            if (answer == kHandOverAck) {
                return true;
            }
            *error = ToStd(QCoreApplication::translate(
                "InstanceChannel", "the running Tapewell gave an unknown answer"));
            return false;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;
        }
        *error = ClosedEarly();
        return false;
    }
}

}  // namespace

QString SocketPath(QString* error) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (IsUsableRuntimeFolder(runtime)) {
        return QDir::cleanPath(runtime + QLatin1Char('/') + QLatin1String(kSocketName));
    }
    const QString folder =
        QDir::cleanPath(QDir::tempPath() + QStringLiteral("/Tapewell-%1").arg(::getuid()));
    QString reason;
    if (!MakePrivateFolder(folder, &reason)) {
        if (error) {
            *error = reason;
        }
        return {};
    }
    return folder + QLatin1Char('/') + QLatin1String(kSocketName);
}

Election::Election(const QString& socketPath)
    : m_lock(socketPath.isEmpty() ? QString() : socketPath + QStringLiteral(".lock")) {
    // Only a dead owner makes the lock stale: a first instance may run for
    // weeks, and its age says nothing.
    m_lock.setStaleLockTime(0);
}

bool Election::BecomeFirst() {
    if (m_lock.fileName().isEmpty()) {
        m_error = QCoreApplication::translate("InstanceChannel", "there is no folder for the lock");
        return true;
    }
    if (m_lock.isLocked() || m_lock.tryLock(0)) {
        return true;
    }
    if (m_lock.error() == QLockFile::LockFailedError) {
        return false;
    }
    m_error = QCoreApplication::translate("InstanceChannel", "cannot make the lock file %1")
                  .arg(m_lock.fileName());
    return true;
}

HandOverResult SendHandOver(const QString& socketPath, int32_t mode, const std::string& text,
                            int timeoutMs) {
    HandOverResult result;
    if (text.size() > kMaxHandOverTextBytes) {
        result.error = ToStd(
            QCoreApplication::translate("InstanceChannel", "the item text is longer than %1 bytes")
                .arg(kMaxHandOverTextBytes));
        return result;
    }
    const QByteArray native = QFile::encodeName(socketPath);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (native.isEmpty() || static_cast<size_t>(native.size()) >= sizeof(address.sun_path)) {
        result.error = ToStd(QCoreApplication::translate(
                                 "InstanceChannel", "the socket path \"%1\" is empty or too long")
                                 .arg(socketPath));
        return result;
    }
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const int fd = ConnectBefore(address, socketPath, deadline, timeoutMs, &result.error);
    if (fd < 0) {
        return result;
    }
    result.ok = SendAll(fd, EncodeHandOver(mode, text), deadline, timeoutMs, &result.error) &&
                ReceiveAck(fd, deadline, timeoutMs, &result.error);
    ::close(fd);
    return result;
}

}  // namespace instance

InstanceServer::InstanceServer(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this)) {
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::OnNewConnection);
}

InstanceServer::~InstanceServer() {
    // The connections die with the server; none may reach this half-destroyed
    // object on the way.
    for (QLocalSocket* socket : m_server->findChildren<QLocalSocket*>()) {
        socket->disconnect(this);
    }
    delete m_server;
}

bool InstanceServer::Listen(const QString& socketPath, QString* error) {
    if (socketPath.isEmpty()) {
        if (error) {
            *error = tr("there is no folder for the socket");
        }
        return false;
    }
    m_server->close();
    // The election is won: a file at the path is a dead instance's socket.
    QLocalServer::removeServer(socketPath);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath)) {
        if (error) {
            *error = tr("cannot listen on %1: %2").arg(socketPath, m_server->errorString());
        }
        return false;
    }
    return true;
}

void InstanceServer::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        // Qt then reads no more than one whole message ahead of us.
        socket->setReadBufferSize(instance::kHandOverHeadBytes + instance::kMaxHandOverTextBytes);
        auto* stallTimer = new QTimer(socket);
        stallTimer->setSingleShot(true);
        connect(stallTimer, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        stallTimer->start(m_stallTimeoutMs);
        OnReadyRead(socket);
    }
}

void InstanceServer::OnReadyRead(QLocalSocket* socket) {
    if (socket->bytesAvailable() < instance::kHandOverHeadBytes) {
        return;
    }
    const QByteArray head = socket->peek(instance::kHandOverHeadBytes);
    const auto version = static_cast<uint8_t>(head[0]);
    const auto mode = static_cast<int32_t>(instance::GetLe32(head.constData() + 1));
    const uint32_t length = instance::GetLe32(head.constData() + 5);
    if (version != instance::kHandOverVersion || length > instance::kMaxHandOverTextBytes) {
        // Another program's bytes or a hostile length: nothing of the rest
        // is read.
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (socket->bytesAvailable() < instance::kHandOverHeadBytes + static_cast<qint64>(length)) {
        return;
    }
    socket->skip(instance::kHandOverHeadBytes);
    const QByteArray text = socket->read(length);
    // One message per connection; the handler may run a nested event loop,
    // in which this socket must not be read again or dropped as stalled.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    if (auto* stallTimer = socket->findChild<QTimer*>()) {
        stallTimer->stop();
    }
    QPointer<QLocalSocket> alive(socket);
    m_handler(mode, QString::fromUtf8(text));
    if (alive) {
        Acknowledge(socket);
    }
}

void InstanceServer::Acknowledge(QLocalSocket* socket) {
    if (socket->state() != QLocalSocket::ConnectedState) {
        socket->deleteLater();
        return;
    }
    const char ack = static_cast<char>(instance::kHandOverAck);
    socket->write(&ack, 1);
    socket->flush();
    socket->disconnectFromServer();
    // disconnected() deletes it once the byte is out; a sender that never
    // reads it does not keep it alive.
    if (auto* stallTimer = socket->findChild<QTimer*>()) {
        stallTimer->start(m_stallTimeoutMs);
    }
}

}  // namespace tapewell::gui
