#pragma once

#include <QRect>
#include <QSize>
#include <QString>

namespace tapewell::gui {

// The player's size commands; any other stored value plays at normal size.
enum class SizeMode { kHalf = 0, kNormal = 1, kDouble = 2 };

SizeMode SizeModeFromInt(int value);

// Where the player puts the video and the caption band inside its client
// area, with no widget involved: the view fills these fields from the media
// and the settings and asks for sizes and rectangles.
struct PlayerLayout {
    // Largest width or height the layout hands out (Qt's widget size
    // ceiling), so a huge video or margin cannot overflow a sum.
    static constexpr int kMaxExtent = (1 << 24) - 1;

    // The video's natural size; before a video opens (or when the media
    // reports no size) the picture is taken as 4:3.
    QSize m_video;
    // "Keep": the picture keeps its width-to-height ratio.
    bool m_keepRatio = false;
    // The media has captions and "Enable Caption" is set: the band at the
    // bottom is taken from the video.
    bool m_captionsShown = false;
    // "Caption Margin": the height of the caption band in pixels.
    int m_captionMargin = 0;

    // The video's natural size scaled by the mode (halving is integral).
    QSize ScaledVideo(SizeMode mode) const;
    // The client size a size command asks for: the scaled video with the
    // caption band under it when captions are shown.
    QSize ChosenClient(SizeMode mode) const;

    // The video rectangle when the layout works in box (the area above and
    // including the caption band) inside a client area of client's size.
    // Horizontally the picture is always centred in the client; the band
    // never takes more than the box's height, so the video height stays >= 0.
    QRect VideoRect(QSize box, QSize client) const;
    QRect VideoRect(QSize client) const { return VideoRect(client, client); }

    // The caption band: empty when captions are not shown or the margin is 0,
    // never taller than the client. A window's band keeps 23 pixels from each
    // side; the full-screen band spans the whole width.
    QRect CaptionBand(QSize client, bool fullWidth) const;

    // The box a kept size lays out in: the chosen client size, but never
    // larger than the client area; the client area before any size is chosen.
    static QSize BoxWithin(QSize client, QSize chosen);
    // Whether a size command resizes the top-level window: not with "Keep
    // Size", and not for a size too small to be a picture.
    static bool ResizesWindow(QSize chosen, bool keepSize);

    // "Half size : 176x120" and the like, for the scaled video (band excluded).
    static QString SizeStatusText(SizeMode mode, QSize scaled);
    static QString KeepRatioStatusText(bool keep);

private:
    int BandHeight(int height) const;
};

}  // namespace tapewell::gui
