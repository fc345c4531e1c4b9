#include "gui/player/VideoCanvas.h"

#include <QPainter>

#include "gui/app/AppIcon.h"

namespace tapewell::gui {
namespace {

constexpr int kIdleIconSize = 64;
constexpr int kStatusInset = 63;
constexpr int kStatusHeight = 14;

void PaintIdle(QPainter& painter, QSize client) {
    const QPixmap icon = AppIcon().pixmap(kIdleIconSize, kIdleIconSize);
    painter.drawPixmap((client.width() - icon.width()) / 2, (client.height() - icon.height()) / 2,
                       icon);
}

void PaintCaption(QPainter& painter, QSize client, const PictureState& state, bool fullScreen) {
    const QRect band = state.layout.CaptionBand(client, fullScreen);
    if (!state.drawCaption || band.isEmpty()) {
        return;
    }
    // Black, the view's own background: a colour sampled from the picture
    // would change with every scene.
    painter.fillRect(band, Qt::black);
    if (state.caption.isEmpty()) {
        return;
    }
    painter.setFont(state.captionFont);
    painter.setPen(state.captionColor);
    painter.drawText(band, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, state.caption);
}

void PaintStatus(QPainter& painter, QSize client, const QString& status) {
    const QRect strip(kStatusInset, 1, client.width() - 2 * kStatusInset, kStatusHeight);
    if (status.isEmpty() || strip.width() <= 0) {
        return;
    }
    painter.fillRect(strip, Qt::black);
    QFont font = painter.font();
    font.setPixelSize(kStatusHeight - 2);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(strip, Qt::AlignCenter | Qt::TextSingleLine, status);
}

}  // namespace

void PaintPicture(QPainter& painter, QSize client, const PictureState& state, const QImage& frame,
                  bool fullScreen) {
    painter.fillRect(QRect(QPoint(0, 0), client), Qt::black);
    if (!state.showVideo) {
        PaintIdle(painter, client);
    } else if (!frame.isNull()) {
        const QSize box = fullScreen || state.box.isEmpty() ? client : state.box;
        const QRect video = state.layout.VideoRect(box, client);
        if (!video.isEmpty()) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(video, frame);
        }
    }
    PaintCaption(painter, client, state, fullScreen);
    PaintStatus(painter, client, state.status);
}

VideoCanvas::VideoCanvas(QWidget* parent) : QWidget(parent) {
    setObjectName("videoCanvas");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(1, 1);
}

void VideoCanvas::TakeFrame(const VideoFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0 || frame.stride < size_t(frame.width) * 3 ||
        frame.pixels.size() < frame.stride * size_t(frame.height)) {
        return;
    }
    // The image borrows GStreamer's buffer; copy() makes it ours before the
    // buffer goes back.
    QImage image(frame.pixels.data(), frame.width, frame.height,
                 static_cast<qsizetype>(frame.stride), QImage::Format_BGR888);
    QImage copy = image.copy();
    {
        std::lock_guard lock(m_frameMutex);
        m_frame = std::move(copy);
    }
    if (!m_updatePending.exchange(true)) {
        QMetaObject::invokeMethod(this, &VideoCanvas::OnFramePending, Qt::QueuedConnection);
    }
}

void VideoCanvas::OnFramePending() {
    m_updatePending = false;
    update();
    if (m_mirror) {
        m_mirror->update();
    }
}

QImage VideoCanvas::LastFrame() const {
    std::lock_guard lock(m_frameMutex);
    return m_frame;
}

void VideoCanvas::ClearFrame() {
    std::lock_guard lock(m_frameMutex);
    m_frame = QImage();
}

void VideoCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintPicture(painter, size(), m_state, LastFrame(), false);
}

}  // namespace tapewell::gui
