#pragma once

#include <QObject>

class QSocketNotifier;

namespace tapewell::gui {

// Turns SIGTERM and SIGINT into a Qt signal on the UI thread, so that the
// program ends the way a closed window does (lists and settings saved)
// instead of dying in the middle. The handler only writes the signal number
// into a pipe; a QSocketNotifier reads it in the event loop. One watcher per
// process.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;
    bool IsWatching() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void Received(int signalNumber);

private:
    void OnReadable();

    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace tapewell::gui
