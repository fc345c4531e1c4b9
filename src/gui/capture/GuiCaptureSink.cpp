#include "gui/capture/GuiCaptureSink.h"

#include "app/RecordList.h"

namespace tapewell::gui {

GuiCaptureSink::GuiCaptureSink(RecordList& list, QObject* parent)
    : QObject(parent), m_list(&list) {}

void GuiCaptureSink::SetEndHandler(EndHandler handler) {
    m_endHandler = std::move(handler);
}

void GuiCaptureSink::Detach() {
    m_list = nullptr;
    m_endHandler = nullptr;
}

// The list and the handler are read when the posted call runs, on the UI
// thread: a call posted before Detach finds them cleared. Qt drops calls
// still queued for a sink that has been deleted.

void GuiCaptureSink::AddItem(const std::string& address, const std::string& name,
                             const std::string& sizeOption, const std::string& agent) {
    QMetaObject::invokeMethod(
        this,
        [this, address, name, sizeOption, agent] {
            if (m_list) {
                m_list->AddItem(address, name, sizeOption, agent);
            }
        },
        Qt::QueuedConnection);
}

void GuiCaptureSink::RenameByAddress(const std::string& address, const std::string& name) {
    QMetaObject::invokeMethod(
        this,
        [this, address, name] {
            if (m_list) {
                m_list->RenameByAddress(address, name);
            }
        },
        Qt::QueuedConnection);
}

void GuiCaptureSink::OnCaptureEnd(const std::string& error, const std::string& warning) {
    QMetaObject::invokeMethod(
        this,
        [this, error, warning] {
            if (m_endHandler) {
                m_endHandler(error, warning);
            }
        },
        Qt::QueuedConnection);
}

}  // namespace tapewell::gui
