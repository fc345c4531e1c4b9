#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "player/VideoFrame.h"

namespace tapewell {

// Continuous capture of a playing video's frames into BMP files: M pictures
// every N seconds of media time, the first frame always taken. The player's
// frame callback feeds OnFrame; the capture window draws the previews it is
// handed.
class FrameSnapshot {
public:
    struct Settings {
        std::filesystem::path folder;
        std::string baseName;
        int everySeconds = 1;  // N
        int pictures = 1;      // M; 0 takes none
        bool previewOnly = true;
    };

    // A frame that was taken: its preview slot (0, 1, 2 in turn), its time
    // label, whether it was taken in preview-only mode, and the file it was
    // saved to (empty in preview-only mode or when the file could not be
    // written).
    struct Taken {
        int slot = 0;
        std::string label;
        bool previewOnly = true;
        std::filesystem::path file;
    };

    // Both are called on the player's streaming thread, from OnFrame.
    using LogLine = std::function<void(std::string_view line)>;
    using Preview = std::function<void(const VideoFrame& frame, const Taken& taken)>;

    explicit FrameSnapshot(Settings settings, LogLine log = {}, Preview preview = {});

    // Makes the next frame be taken at once. Call before the frame callback
    // is installed.
    void Start();

    // Preview-only can change while capturing; the next frame sees it.
    void SetPreviewOnly(bool on) { m_previewOnly = on; }

    // On the player's streaming thread: takes the frame when the interval has
    // passed since the last one taken, saves it unless preview-only, writes
    // the log line for a saved file. True when the frame was taken. A file
    // that cannot be written is skipped; capturing goes on.
    bool OnFrame(const VideoFrame& frame);

    // "<folder>/<base>_MM_SS_mmm.bmp" with whole minutes (not wrapped at an
    // hour), seconds and milliseconds of the frame time.
    static std::filesystem::path PictureName(const std::filesystem::path& folder,
                                             const std::string& baseName, int64_t timeNs);
    // "h:mm:ss:mmm", bracketed when the frame is saved as well.
    static std::string TimeLabel(int64_t timeNs, bool previewOnly);

    // The regular files "<base>_*.bmp" in the folder, which Delete All
    // removes: the pictures and the single capture of this base name, and
    // not those of a base name that merely starts with it ("talk2_...").
    static std::vector<std::filesystem::path> FindPictures(const std::filesystem::path& folder,
                                                           const std::string& baseName);
    // Deletes them; returns how many went.
    static size_t DeletePictures(const std::filesystem::path& folder, const std::string& baseName);

private:
    Settings m_settings;
    LogLine m_log;
    Preview m_preview;
    std::atomic<bool> m_previewOnly;
    // Streaming thread only (and Start, before the callback runs).
    int64_t m_lastNs = 0;
    int m_slot = 0;
};

}  // namespace tapewell
