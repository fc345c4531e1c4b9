#pragma once

#include <QWidget>

namespace tapewell::gui {

class VideoCanvas;

// The picture on a whole screen: a top-level window that paints the
// canvas's frame and state with a caption band as wide as the screen. Esc
// and a double click ask to leave; the player's actions are added to it by
// the view so that their keys work here too.
class FullScreenVideoWindow : public QWidget {
    Q_OBJECT
public:
    explicit FullScreenVideoWindow(const VideoCanvas& canvas);

    // Full screen on the screen that shows `near`.
    void ShowOn(QWidget* near);

Q_SIGNALS:
    void leaveRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const VideoCanvas& m_canvas;
};

}  // namespace tapewell::gui
