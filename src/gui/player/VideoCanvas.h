#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QWidget>

#include <atomic>
#include <mutex>

#include "gui/player/PlayerLayout.h"
#include "player/VideoFrame.h"

namespace tapewell::gui {

// What the player shows besides the frame: the view fills it, the canvas and
// the full-screen window paint from it.
struct PictureState {
    // A video is open and shown; otherwise the idle picture.
    bool showVideo = false;
    PlayerLayout layout;
    // The box the video is laid out in (the client area when empty).
    QSize box;
    QString caption;
    // "Enable Caption" is set and something plays: the band is painted.
    bool drawCaption = false;
    QFont captionFont;
    QColor captionColor = Qt::white;
    // A passing message, shown over the top of the picture for a second.
    QString status;
};

// Paints background, frame (or idle picture), caption band and status strip
// into a client area. The full-screen band spans the whole width.
void PaintPicture(QPainter& painter, QSize client, const PictureState& state, const QImage& frame,
                  bool fullScreen);

// The player's drawing surface. Frames arrive on GStreamer's streaming
// thread and are copied under a mutex; the newest replaces the older one and
// a single queued update() is pending at a time, so a slow UI drops frames
// instead of queueing them. No native window: the frame is painted.
class VideoCanvas : public QWidget {
    Q_OBJECT
public:
    explicit VideoCanvas(QWidget* parent = nullptr);

    // Streaming thread: keeps a copy of the frame and asks for one repaint.
    void TakeFrame(const VideoFrame& frame);
    // The last frame at the video's size (null before the first one).
    QImage LastFrame() const;
    void ClearFrame();

    PictureState& State() { return m_state; }
    const PictureState& State() const { return m_state; }
    // A second surface (the full-screen window) repainted with each frame.
    void SetMirror(QWidget* mirror) { m_mirror = mirror; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void OnFramePending();

    mutable std::mutex m_frameMutex;
    QImage m_frame;
    std::atomic<bool> m_updatePending{false};
    PictureState m_state;
    QPointer<QWidget> m_mirror;
};

}  // namespace tapewell::gui
