#pragma once

#include <QObject>

#include <functional>
#include <string>

#include "capture/CaptureSink.h"

namespace tapewell {
class RecordList;
}

namespace tapewell::gui {

// What URL capture finds, carried from the receive thread to the record
// list on the UI thread: every call is re-posted by one queued hop and
// applied there, so the receive thread never touches the list or a widget.
// The sink lives on the UI thread and outlives the capture that reports to
// it (its owner joins the capture first).
class GuiCaptureSink final : public QObject, public CaptureSink {
    Q_OBJECT
public:
    using EndHandler = std::function<void(const std::string& error, const std::string& warning)>;

    explicit GuiCaptureSink(RecordList& list, QObject* parent = nullptr);

    // UI thread. Runs there once per OnCaptureEnd.
    void SetEndHandler(EndHandler handler);
    // UI thread. From now on, calls still on their way are dropped: for an
    // owner that is going away while the list may already be gone.
    void Detach();

    // The receive thread: each posts and returns; none waits for the UI.
    void AddItem(const std::string& address, const std::string& name, const std::string& sizeOption,
                 const std::string& agent) override;
    void RenameByAddress(const std::string& address, const std::string& name) override;
    void OnCaptureEnd(const std::string& error, const std::string& warning) override;

private:
    RecordList* m_list;       // UI thread only; null once detached
    EndHandler m_endHandler;  // UI thread only
};

}  // namespace tapewell::gui
