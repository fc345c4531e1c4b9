#include "gui/list/GuiJobSink.h"

namespace tapewell::gui {

GuiJobSink::GuiJobSink(QObject* parent) : QObject(parent) {}

void GuiJobSink::SetHandler(Handler handler) {
    m_handler = std::move(handler);
}

void GuiJobSink::OnJobNotice(int code, uint16_t jobNumber) {
    // The handler is read when the call runs, on the UI thread: a notice
    // posted before the exit cleared it finds it empty.
    QMetaObject::invokeMethod(
        this,
        [this, code, jobNumber] {
            if (m_handler) {
                m_handler(code, jobNumber);
            }
        },
        Qt::QueuedConnection);
}

}  // namespace tapewell::gui
