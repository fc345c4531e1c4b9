#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "common/ErrorOr.h"

class QAction;
class QWidget;

namespace tapewell {
class AppSettings;
class ProfileStore;
class RecordList;
class RecordScheduler;
class UrlCapture;
}  // namespace tapewell

namespace tapewell::gui {

class GuiCaptureSink;

// The "Url Capture" toggle: shows "Select Adapter" and starts the capture
// helper on the chosen device, or stops a capture that runs. What capture
// finds becomes rows of the record list. The action stays checked exactly
// while capture runs, and stays enabled then, since the same action (menu,
// toolbar, Ctrl+Z) is the way to stop it. A recording that starts switches
// capture off. UI thread only.
class CaptureController : public QObject {
    Q_OBJECT
public:
    // toggle: the checkable "Url Capture" action, which this enables and
    // drives. settings are the live ones: "Select Adapter" writes them and
    // saves them to profile. Everything given must outlive the controller,
    // except the scheduler, which may go first.
    CaptureController(RecordList& list, AppSettings& settings, ProfileStore& profile,
                      QAction* toggle, RecordScheduler& scheduler, QWidget* window);
    // Stops the capture and waits for its receive thread.
    ~CaptureController() override;

    bool IsRunning() const { return m_running; }
    // Returns at once; the helper is ended and reaped on the receive thread.
    void Stop();

private:
    void Toggle();
    void ShowSetup();
    void Begin(const std::string& device);
    void OnCaptureEnd(const std::string& error, const std::string& warning);
    void SetRunning(bool running);
    void Tell(const QString& text);
    QString StartFailureText(const std::filesystem::path& helper, const std::string& device,
                             const Error& error) const;

    AppSettings& m_settings;
    ProfileStore& m_profile;
    QAction* m_toggle;
    QWidget* m_window;
    bool m_running = false;
    bool m_setupOpen = false;
    bool m_stopRequested = false;
    // Every capture that started ends with exactly one OnCaptureEnd, in
    // order: an end while ends are still owed belongs to a capture that a
    // newer start has already replaced.
    uint64_t m_started = 0;
    uint64_t m_ended = 0;
    // The capture joins its receive thread before the sink it reports to
    // goes: it is declared after it.
    std::unique_ptr<GuiCaptureSink> m_sink;
    std::unique_ptr<UrlCapture> m_capture;
};

}  // namespace tapewell::gui
