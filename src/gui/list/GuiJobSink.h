#pragma once

#include <QObject>

#include <cstdint>
#include <functional>

#include "recording/JobSink.h"

namespace tapewell::gui {

// The recording jobs' notices for the desktop program: each one crosses to
// the UI thread by one queued call and is handed to the handler there (the
// record scheduler's HandleNotice). The sink lives on the UI thread and must
// outlive the jobs that report to it.
class GuiJobSink final : public QObject, public JobSink {
    Q_OBJECT
public:
    using Handler = std::function<void(int code, uint16_t jobNumber)>;

    explicit GuiJobSink(QObject* parent = nullptr);

    // UI thread. An empty handler (at exit, once the scheduler is gone)
    // drops the notices that are still on their way.
    void SetHandler(Handler handler);

    // A job's worker thread: posts and returns; never waits for the UI.
    void OnJobNotice(int code, uint16_t jobNumber) override;

private:
    Handler m_handler;  // UI thread only
};

}  // namespace tapewell::gui
