#include "gui/app/ScreenSaverInhibitor.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QVariant>

namespace tapewell::gui {
namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kApplicationName = QStringLiteral("Tapewell");
// Never registered: a QDBusConnection made from this name is a disconnected one.
const QString kNoBusName = QStringLiteral("tapewell-no-session-bus");

// The session bus when this session has one. Without an address libdbus
// would fall back to "autolaunch:", which may start a bus of its own (and
// print about it); a program that only wants the screen saver off has no
// business doing that, so it takes a disconnected connection instead.
QDBusConnection SessionBusIfAny() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        return QDBusConnection::sessionBus();
    }
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty() &&
        QFileInfo::exists(QDir(runtimeDir).filePath(QStringLiteral("bus")))) {
        return QDBusConnection::sessionBus();
    }
    return QDBusConnection(kNoBusName);
}

}  // namespace

ScreenSaverInhibitor::ScreenSaverInhibitor(QObject* parent)
    : ScreenSaverInhibitor(SessionBusIfAny(), parent) {}

ScreenSaverInhibitor::ScreenSaverInhibitor(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus) {}

ScreenSaverInhibitor::~ScreenSaverInhibitor() {
    // A reply still on its way is released by its watcher, which outlives us.
    m_wanted = false;
    if (m_cookie) {
        SendUnInhibit(m_bus, *m_cookie);
    }
}

void ScreenSaverInhibitor::Inhibit() {
    m_wanted = true;
    if (m_cookie || m_pending || !m_bus.isConnected()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
    call << kApplicationName << tr("Playing or recording media");
    m_pending = true;

    // The watcher belongs to the application, not to us: if we are destroyed
    // before the reply comes, the cookie it brings must still be released,
    // or the screen saver would stay off for as long as the program runs.
    auto* watcher =
        new QDBusPendingCallWatcher(m_bus.asyncCall(call), QCoreApplication::instance());
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
            [self = QPointer<ScreenSaverInhibitor>(this), bus = m_bus](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                std::optional<uint32_t> cookie;
                if (reply.isValid()) {
                    cookie = reply.value();
                }
                if (self) {
                    self->OnInhibitReply(cookie);
                } else if (cookie) {
                    SendUnInhibit(bus, *cookie);
                }
            });
}

void ScreenSaverInhibitor::UnInhibit() {
    m_wanted = false;
    if (!m_cookie) {
        return;  // nothing held; a pending reply is released when it arrives
    }
    const uint32_t cookie = *m_cookie;
    m_cookie.reset();
    SendUnInhibit(m_bus, cookie);
    Q_EMIT StateChanged(false);
}

void ScreenSaverInhibitor::OnInhibitReply(std::optional<uint32_t> cookie) {
    m_pending = false;
    if (!cookie) {
        return;  // no service, or it refused: the screen saver is not ours to hold
    }
    if (!m_wanted) {
        SendUnInhibit(m_bus, *cookie);
        return;
    }
    m_cookie = cookie;
    Q_EMIT StateChanged(true);
}

void ScreenSaverInhibitor::SendUnInhibit(const QDBusConnection& bus, uint32_t cookie) {
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("UnInhibit"));
    call << static_cast<uint>(cookie);
    // Dropping the pending call discards its reply when it comes.
    bus.asyncCall(call);
}

}  // namespace tapewell::gui
