#include "gui/capture/CaptureController.h"

#include <QAction>
#include <QDialog>
#include <QKeySequence>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <cerrno>
#include <utility>
#include <vector>

#include "app/RecordScheduler.h"
#include "capture/PcapSource.h"
#include "capture/UrlCapture.h"
#include "capture/UrlSniffer.h"
#include "gui/app/UiPrompt.h"
#include "gui/capture/GuiCaptureSink.h"
#include "gui/settings/CaptureSetupDialog.h"
#include "settings/AppSettings.h"

namespace tapewell::gui {
namespace {

// The core's words when a device cannot be opened; kept whole when an error
// already says it.
constexpr const char* kOpenFailurePrefix = "Unable to open the driver";

}  // namespace

CaptureController::CaptureController(RecordList& list, AppSettings& settings, ProfileStore& profile,
                                     QAction* toggle, RecordScheduler& scheduler, QWidget* window)
    : QObject(window),
      m_settings(settings),
      m_profile(profile),
      m_toggle(toggle),
      m_window(window),
      m_sink(std::make_unique<GuiCaptureSink>(list)),
      m_capture(std::make_unique<UrlCapture>(*m_sink)) {
    m_sink->SetEndHandler([this](const std::string& error, const std::string& warning) {
        OnCaptureEnd(error, warning);
    });
    m_toggle->setCheckable(true);
    m_toggle->setChecked(false);
    m_toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_toggle->setEnabled(true);
    connect(m_toggle, &QAction::triggered, this, &CaptureController::Toggle);
    // The scheduler may outlive this controller by a little at exit.
    scheduler.SetCaptureOff([self = QPointer<CaptureController>(this)] {
        if (self) {
            self->Stop();
        }
    });
}

CaptureController::~CaptureController() {
    // Whatever the receive thread still posts finds nobody to apply it.
    m_sink->Detach();
    m_capture.reset();
}

void CaptureController::Toggle() {
    // QAction flips its check on every trigger; the check shows only
    // whether capture runs.
    m_toggle->setChecked(m_running);
    if (m_running) {
        Stop();
        return;
    }
    if (m_setupOpen) {
        return;
    }
    ShowSetup();
}

void CaptureController::Stop() {
    if (!m_running) {
        return;
    }
    m_stopRequested = true;
    m_capture->Stop();
    SetRunning(false);
}

void CaptureController::ShowSetup() {
    ErrorOr<std::vector<CaptureAdapter>> listed = PcapSource::ListAdapters();
    if (!listed) {
        Tell(tr("The network devices could not be listed: %1")
                 .arg(QString::fromStdString(listed.error().message)));
        return;
    }
    std::vector<CaptureAdapter> usable;
    for (CaptureAdapter& adapter : *listed) {
        if (adapter.IsUpAndRunning()) {
            usable.push_back(std::move(adapter));
        }
    }
    if (usable.empty()) {
        Tell(tr("No network device is up and running, so there is nothing to capture on."));
        return;
    }
    auto* dialog = new CaptureSetupDialog(std::move(usable), m_settings, m_profile, m_window);
    m_setupOpen = true;
    UiPrompt::Instance().Open(dialog,
                              [self = QPointer<CaptureController>(this), dialog](int result) {
                                  if (!self) {
                                      return;
                                  }
                                  self->m_setupOpen = false;
                                  if (result == QDialog::Accepted) {
                                      self->Begin(dialog->ChosenDevice());
                                  }
                              });
}

void CaptureController::Begin(const std::string& device) {
    const std::filesystem::path helper = UrlCapture::HelperPath();
    const ErrorOr<void> started =
        m_capture->StartHelper(helper, device, SnifferSettings::From(m_settings));
    if (!started) {
        SetRunning(false);
        Tell(StartFailureText(helper, device, started.error()));
        return;
    }
    ++m_started;
    m_stopRequested = false;
    SetRunning(true);
}

void CaptureController::OnCaptureEnd(const std::string& error, const std::string& warning) {
    ++m_ended;
    if (m_ended < m_started) {
        return;  // the end of a capture a newer start replaced
    }
    const bool asked = m_stopRequested;
    SetRunning(false);
    // After a stop, what the helper says on its way out is no news.
    if (asked) {
        return;
    }
    if (!error.empty()) {
        Tell(QString::fromStdString(error));
    } else if (!warning.empty()) {
        Tell(QString::fromStdString(warning));
    }
}

void CaptureController::SetRunning(bool running) {
    m_running = running;
    m_toggle->setChecked(running);
}

void CaptureController::Tell(const QString& text) {
    UiPrompt::Instance().Tell(m_window, QMessageBox::Warning, text);
}

QString CaptureController::StartFailureText(const std::filesystem::path& helper,
                                            const std::string& device, const Error& error) const {
    if (error.code == ENOENT) {
        return tr("The packet capture helper is not installed (%1).\n"
                  "Install the tapewell package, or run cmake --install for a build.")
            .arg(QString::fromStdString(helper.string()));
    }
    const QString message = QString::fromStdString(error.message);
    if (message.startsWith(QLatin1String(kOpenFailurePrefix))) {
        return message;
    }
    return tr("Unable to open the driver '%1': %2").arg(QString::fromStdString(device), message);
}

}  // namespace tapewell::gui
