#include "gui/player/PlayerLayout.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdint>

namespace tapewell::gui {
namespace {

constexpr int kMinResizeExtent = 10;
constexpr int kCaptionBandInset = 23;

int ClampExtent(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, 0, PlayerLayout::kMaxExtent));
}

// The ratio source: the natural size, or 4:3 when there is none yet.
QSize RatioOf(QSize video) {
    return video.width() > 0 && video.height() > 0 ? video : QSize(4, 3);
}

}  // namespace

SizeMode SizeModeFromInt(int value) {
    switch (value) {
        case 0:
            return SizeMode::kHalf;
        case 2:
            return SizeMode::kDouble;
        default:
            return SizeMode::kNormal;
    }
}

QSize PlayerLayout::ScaledVideo(SizeMode mode) const {
    const int64_t width = std::max(m_video.width(), 0);
    const int64_t height = std::max(m_video.height(), 0);
    switch (mode) {
        case SizeMode::kHalf:
            return {ClampExtent(width / 2), ClampExtent(height / 2)};
        case SizeMode::kDouble:
            return {ClampExtent(width * 2), ClampExtent(height * 2)};
        case SizeMode::kNormal:
            break;
    }
    return {ClampExtent(width), ClampExtent(height)};
}

QSize PlayerLayout::ChosenClient(SizeMode mode) const {
    const QSize scaled = ScaledVideo(mode);
    const int64_t band = m_captionsShown ? std::clamp(m_captionMargin, 0, kMaxExtent) : 0;
    return {scaled.width(), ClampExtent(scaled.height() + band)};
}

int PlayerLayout::BandHeight(int height) const {
    return m_captionsShown ? std::clamp(m_captionMargin, 0, std::max(height, 0)) : 0;
}

QRect PlayerLayout::VideoRect(QSize box, QSize client) const {
    const int64_t width = std::max(box.width(), 0);
    const int64_t height = std::max(box.height(), 0) - BandHeight(box.height());
    int64_t videoWidth = width;
    int64_t videoHeight = height;
    int64_t top = 0;
    if (m_keepRatio) {
        // Integer arithmetic keeps the truncation exact where a float ratio
        // can land a pixel short.
        const QSize ratio = RatioOf(m_video);
        videoWidth = height * ratio.width() / ratio.height();
        if (videoWidth > width) {
            videoWidth = width;
            videoHeight = width * ratio.height() / ratio.width();
        }
        top = height / 2 - videoHeight / 2;
    }
    const int64_t left = int64_t{client.width()} / 2 - videoWidth / 2;
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(videoWidth),
            static_cast<int>(videoHeight)};
}

QRect PlayerLayout::CaptionBand(QSize client, bool fullWidth) const {
    const int height = BandHeight(client.height());
    const int inset = fullWidth ? 0 : kCaptionBandInset;
    const int width = std::max(client.width() - 2 * inset, 0);
    if (height == 0 || width == 0)
        return {};
    return {inset, client.height() - height, width, height};
}

QSize PlayerLayout::BoxWithin(QSize client, QSize chosen) {
    return chosen.isEmpty() ? client : chosen.boundedTo(client);
}

bool PlayerLayout::ResizesWindow(QSize chosen, bool keepSize) {
    return !keepSize && chosen.width() > kMinResizeExtent && chosen.height() > kMinResizeExtent;
}

QString PlayerLayout::SizeStatusText(SizeMode mode, QSize scaled) {
    const QString width = QString::number(scaled.width());
    const QString height = QString::number(scaled.height());
    switch (mode) {
        case SizeMode::kHalf:
            return QCoreApplication::translate("PlayerLayout", "Half size : %1x%2")
                .arg(width, height);
        case SizeMode::kDouble:
            return QCoreApplication::translate("PlayerLayout", "Double size : %1x%2")
                .arg(width, height);
        case SizeMode::kNormal:
            break;
    }
    return QCoreApplication::translate("PlayerLayout", "Normal size : %1x%2").arg(width, height);
}

QString PlayerLayout::KeepRatioStatusText(bool keep) {
    return keep ? QCoreApplication::translate("PlayerLayout", "Keep screen ratio")
                : QCoreApplication::translate("PlayerLayout", "Don't keep screen ratio");
}

}  // namespace tapewell::gui
