#include "gui/player/FullScreenVideoWindow.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>

#include "gui/player/VideoCanvas.h"

namespace tapewell::gui {

FullScreenVideoWindow::FullScreenVideoWindow(const VideoCanvas& canvas)
    : QWidget(nullptr, Qt::Window), m_canvas(canvas) {
    setObjectName("fullScreenVideo");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

void FullScreenVideoWindow::ShowOn(QWidget* near) {
    if (QScreen* screen = near != nullptr ? near->screen() : nullptr) {
        setScreen(screen);
        setGeometry(screen->geometry());
    }
    showFullScreen();
    raise();
    activateWindow();
}

void FullScreenVideoWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintPicture(painter, size(), m_canvas.State(), m_canvas.LastFrame(), true);
}

void FullScreenVideoWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT leaveRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FullScreenVideoWindow::mouseDoubleClickEvent(QMouseEvent*) {
    Q_EMIT leaveRequested();
}

void FullScreenVideoWindow::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(actions());
    menu->popup(event->globalPos());
}

}  // namespace tapewell::gui
