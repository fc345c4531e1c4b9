#include "gui/manager/PreviewStrip.h"

#include <QPainter>

namespace tapewell::gui {

PreviewStrip::PreviewStrip(QWidget* parent) : QWidget(parent) {
    setObjectName("previewStrip");
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(sizeHint());
}

QImage PreviewStrip::Thumbnail(const VideoFrame& frame) {
    if (frame.width <= 0 || frame.height <= 0 || frame.stride < size_t(frame.width) * 3 ||
        frame.pixels.size() < frame.stride * size_t(frame.height)) {
        return {};
    }
    // The image borrows the player's buffer; scaled() makes a new one.
    const QImage borrowed(frame.pixels.data(), frame.width, frame.height,
                          static_cast<qsizetype>(frame.stride), QImage::Format_BGR888);
    return borrowed.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void PreviewStrip::Show(int slot, const QImage& image, const QString& label, bool saved) {
    if (slot < 0 || slot >= kSlots) {
        return;
    }
    m_slots[slot] = Slot{image, label, saved};
    update(SlotRect(slot).united(LabelRect(slot)));
}

void PreviewStrip::Clear() {
    m_slots = {};
    update();
}

QString PreviewStrip::Label(int slot) const {
    return slot >= 0 && slot < kSlots ? m_slots[slot].label : QString();
}

QRect PreviewStrip::SlotRect(int slot) {
    return QRect(kLeft + kStep * slot, kTop, kWidth, kHeight);
}

QRect PreviewStrip::LabelRect(int slot) {
    return QRect(kLeft + kStep * slot, kLabelTop, kWidth, kLabelHeight);
}

QSize PreviewStrip::sizeHint() const {
    return QSize(kLeft + kStep * kSlots, kTop + kHeight + kLeft);
}

void PreviewStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    // "h:mm:ss:mmm" in brackets has to fit a slot's width.
    QFont font = painter.font();
    font.setPixelSize(kLabelPixels);
    painter.setFont(font);
    for (int slot = 0; slot < kSlots; ++slot) {
        const Slot& shown = m_slots[slot];
        if (!shown.image.isNull()) {
            painter.drawImage(SlotRect(slot), shown.image);
        }
        if (!shown.label.isEmpty()) {
            // Over the picture's foot, on no background of its own.
            painter.setPen(shown.saved ? Qt::green : Qt::white);
            painter.drawText(LabelRect(slot), Qt::AlignRight | Qt::AlignVCenter, shown.label);
        }
    }
}

}  // namespace tapewell::gui
