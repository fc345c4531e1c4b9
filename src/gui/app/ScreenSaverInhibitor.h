#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace tapewell::gui {

// Keeps the desktop's screen saver off while the program asks it to, through
// org.freedesktop.ScreenSaver (Inhibit / UnInhibit) on the session bus.
// Calls are asynchronous, so a slow or missing service never stalls the
// window; without a bus or a service it stays quiet and does nothing.
// Lives on the UI thread; every call and signal happens there.
class ScreenSaverInhibitor : public QObject {
    Q_OBJECT
public:
    explicit ScreenSaverInhibitor(QObject* parent = nullptr);
    // For tests: a bus of their own.
    ScreenSaverInhibitor(const QDBusConnection& bus, QObject* parent = nullptr);
    ~ScreenSaverInhibitor() override;  // uninhibits

    // Both are idempotent. UnInhibit while the Inhibit reply is still on its
    // way releases the cookie as soon as it arrives.
    void Inhibit();
    void UnInhibit();
    // A cookie is held (the service answered the Inhibit).
    bool IsInhibited() const { return m_cookie.has_value(); }

Q_SIGNALS:
    void StateChanged(bool inhibited);

private:
    // The Inhibit reply, or nothing when the service failed or is missing.
    void OnInhibitReply(std::optional<uint32_t> cookie);
    // Fire-and-forget: nobody waits for the reply of a release.
    static void SendUnInhibit(const QDBusConnection& bus, uint32_t cookie);

    QDBusConnection m_bus;
    std::optional<uint32_t> m_cookie;
    bool m_wanted = false;
    bool m_pending = false;
};

}  // namespace tapewell::gui
