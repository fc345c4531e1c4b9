#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "app/StartCommand.h"

class QCoreApplication;

namespace tapewell {
class ProfileStore;
}

namespace tapewell::gui {

class CMainFrame;
class InstanceServer;
class SignalWatcher;

// Loads the Korean translation (ours and Qt's own button texts) when the
// locale is Korean; English needs nothing.
void InstallTranslations(QCoreApplication& app);

// The running program once it is the first instance: the main window, the
// hand-over server and the signal watcher. Made after the QApplication.
class CRecorderApp : public QObject {
    Q_OBJECT
public:
    // socketPath is empty when several instances are allowed (no server).
    CRecorderApp(ProfileStore& profile, StartCommand start, QString socketPath);
    ~CRecorderApp() override;

    // Shows the main window, opens the command line's item and listens for
    // hand-overs.
    void Start();
    CMainFrame* Frame() const { return m_frame.get(); }

private:
    ProfileStore& m_profile;
    StartCommand m_start;
    QString m_socketPath;
    std::unique_ptr<CMainFrame> m_frame;
    InstanceServer* m_server = nullptr;
    SignalWatcher* m_signals = nullptr;
};

}  // namespace tapewell::gui
