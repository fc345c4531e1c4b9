#pragma once

#include <QFile>
#include <QString>

#include <filesystem>

#include "player/VideoFrame.h"

namespace tapewell {
class FrameSnapshot;
}

namespace tapewell::gui {

// What the ASF Manager's pages ask of the window's preview: the position
// slider and its selection, the player, and the frame snapshot that the
// preview's one frame callback feeds besides the picture. UI thread only.
class PreviewControl {
public:
    virtual ~PreviewControl() = default;

    // Whole seconds.
    virtual int SliderPosition() const = 0;
    virtual int SelectionStart() const = 0;
    virtual int SelectionEnd() const = 0;
    virtual void SetSelection(int start, int end) = 0;
    // Playback of the selection over and over.
    virtual void SetRepeat(bool on) = 0;
    // Plays from seconds whatever the preview's state.
    virtual void Jump(int seconds) = 0;

    virtual bool IsPlaying() const = 0;
    // Plays from the start unless it plays already; true when it plays.
    virtual bool PlayIfStopped() = 0;
    virtual bool GetVideoInfo(VideoInfo* info) = 0;
    virtual bool SaveCurrentImage(const std::filesystem::path& path) const = 0;

    // The snapshot every frame also goes to (nullptr: none). Returns once no
    // frame is being handed to the previous one, which may then be freed.
    virtual void SetSnapshot(FrameSnapshot* snapshot) = 0;
};

// File names as the user sees them, and back, in the file system's encoding.
inline QString PathText(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

inline std::filesystem::path TextPath(const QString& text) {
    return std::filesystem::path(QFile::encodeName(text).toStdString());
}

}  // namespace tapewell::gui
