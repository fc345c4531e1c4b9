#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <array>

#include "player/VideoFrame.h"

namespace tapewell::gui {

// The capture page's picture area: the last three frames a capture took,
// side by side in slots 0, 1 and 2, each with its time label.
class PreviewStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSlots = 3;
    static constexpr int kLeft = 10;
    static constexpr int kTop = 20;
    static constexpr int kStep = 110;
    static constexpr int kWidth = 100;
    static constexpr int kHeight = 80;
    static constexpr int kLabelTop = 80;
    static constexpr int kLabelHeight = 20;
    static constexpr int kLabelPixels = 11;

    explicit PreviewStrip(QWidget* parent = nullptr);

    // Any thread: the frame scaled to a slot's size, or a null image when
    // the frame is malformed. The scaled image owns its pixels.
    static QImage Thumbnail(const VideoFrame& frame);

    // Shows image and label in the slot (0-2; others are ignored). A label
    // of a frame that was saved is green, else white.
    void Show(int slot, const QImage& image, const QString& label, bool saved);
    void Clear();
    // The label shown in the slot ("" when none).
    QString Label(int slot) const;

    static QRect SlotRect(int slot);
    static QRect LabelRect(int slot);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Slot {
        QImage image;
        QString label;
        bool saved = false;
    };
    std::array<Slot, kSlots> m_slots;
};

}  // namespace tapewell::gui
