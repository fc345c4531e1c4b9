#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace tapewell::gui {

// One Tapewell per user: the first start owns a lock file and listens on a
// local socket; a later start hands its start mode and item text over and
// ends. The election and the hand-over need no QApplication and no display,
// so that a second start from a terminal without one still works.
//
// The message is a version byte, the start mode (int32), the text's length
// (uint32) and the text (UTF-8, at most kMaxHandOverTextBytes); all numbers
// little-endian. The first instance answers one byte (kHandOverAck) after
// its handler ran, then closes.
namespace instance {

inline constexpr uint8_t kHandOverVersion = 1;
inline constexpr uint8_t kHandOverAck = 0x06;
inline constexpr uint32_t kMaxHandOverTextBytes = 64 * 1024;
inline constexpr int kHandOverTimeoutMs = 5000;
// The version byte, the mode and the text's length.
inline constexpr int kHandOverHeadBytes = 9;
// A connection that has not delivered a whole message by then is dropped.
inline constexpr int kHandOverStallTimeoutMs = 5000;

// $XDG_RUNTIME_DIR/Tapewell.sock when that is an absolute path to an
// existing folder; else Tapewell.sock in a per-user folder "Tapewell-<uid>"
// (mode 0700) in the temp folder. An empty path, with the reason in *error,
// when that folder cannot be made or is not safely ours (a link, another
// user's, not a folder).
QString SocketPath(QString* error = nullptr);

// The lock that makes an instance the first one (socketPath + ".lock"),
// held for the object's lifetime. A lock left by a killed instance is taken
// over. Needs no QCoreApplication.
class Election {
public:
    explicit Election(const QString& socketPath);
    Election(const Election&) = delete;
    Election& operator=(const Election&) = delete;

    // True when this process is now the first instance; false when a live
    // instance holds the lock. A lock that cannot be made at all (empty
    // socket path, no permission, full disk) gives true as well: this
    // process could never hand over either, so it runs on its own; Error()
    // then says why.
    bool BecomeFirst();
    QString Error() const { return m_error; }

private:
    QLockFile m_lock;
    QString m_error;
};

struct HandOverResult {
    bool ok = false;
    std::string error;  // why it failed, for stderr
};

// Sends mode and text to the first instance and waits up to timeoutMs, in
// all, for its acknowledgement. Refuses a text over the limit without
// connecting. Plain POSIX sockets: callable before any QCoreApplication.
HandOverResult SendHandOver(const QString& socketPath, int32_t mode, const std::string& text,
                            int timeoutMs = kHandOverTimeoutMs);

}  // namespace instance

// The first instance's side: accepts hand-overs on the UI thread and runs
// the handler for each (on the UI thread), then acknowledges. A connection that announces a
// text over the limit, another version, or that stalls, is dropped; the
// server lives on.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(int32_t mode, const QString& text)>;

    explicit InstanceServer(Handler handler, QObject* parent = nullptr);
    ~InstanceServer() override;

    // Listens on socketPath (user-only), replacing a stale socket file:
    // call it only after Election::BecomeFirst() returned true.
    bool Listen(const QString& socketPath, QString* error = nullptr);
    // How long a connection may take to deliver its whole message.
    void SetStallTimeout(int ms) { m_stallTimeoutMs = ms; }

private:
    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    void Acknowledge(QLocalSocket* socket);

    Handler m_handler;
    QLocalServer* m_server;
    int m_stallTimeoutMs = instance::kHandOverStallTimeoutMs;
};

}  // namespace tapewell::gui
