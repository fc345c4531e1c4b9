#include "player/FrameSnapshot.h"

#include <cinttypes>
#include <cstdio>

#include "common/SizeTimeText.h"
#include "player/BmpFile.h"

namespace tapewell {
namespace {

constexpr int64_t kNsPerMs = 1'000'000;
// A capture starts as if the last picture were taken 10,000 s before the
// media's start, so that the first frame is always taken.
constexpr int64_t kNoPictureYetNs = -10'000 * 1000 * kNsPerMs;
constexpr int kPreviewSlots = 3;

}  // namespace

FrameSnapshot::FrameSnapshot(Settings settings, LogLine log, Preview preview)
    : m_settings(std::move(settings)),
      m_log(std::move(log)),
      m_preview(std::move(preview)),
      m_previewOnly(m_settings.previewOnly) {
    Start();
}

void FrameSnapshot::Start() {
    m_lastNs = kNoPictureYetNs;
    m_slot = 0;
}

bool FrameSnapshot::OnFrame(const VideoFrame& frame) {
    if (m_settings.pictures <= 0) {
        return false;
    }
    // Whole milliseconds, compared in nanoseconds so that a frame exactly one
    // interval after the last is taken (seconds as doubles would miss some).
    const int64_t intervalMs = int64_t{m_settings.everySeconds} * 1000 / m_settings.pictures;
    if (frame.timeNs - m_lastNs < intervalMs * kNsPerMs) {
        return false;
    }
    m_lastNs = frame.timeNs;
    Taken taken;
    taken.slot = m_slot;
    m_slot = (m_slot + 1) % kPreviewSlots;
    const bool previewOnly = m_previewOnly;
    taken.previewOnly = previewOnly;
    taken.label = TimeLabel(frame.timeNs, previewOnly);
    if (!previewOnly) {
        auto file = PictureName(m_settings.folder, m_settings.baseName, frame.timeNs);
        if (SaveBmp(file, frame)) {
            taken.file = file;
            if (m_log) {
                char line[4096];
                std::snprintf(line, sizeof(line), "Found a sample at time %" PRId64 " ms\t[%s]\r\n",
                              frame.timeNs / kNsPerMs, file.c_str());
                m_log(line);
            }
        }
    }
    if (m_preview) {
        m_preview(frame, taken);
    }
    return true;
}

std::filesystem::path FrameSnapshot::PictureName(const std::filesystem::path& folder,
                                                 const std::string& baseName, int64_t timeNs) {
    const int64_t ms = timeNs / kNsPerMs;
    char tail[64];
    std::snprintf(tail, sizeof(tail), "_%02" PRId64 "_%02" PRId64 "_%03" PRId64 ".bmp", ms / 60000,
                  ms / 1000 % 60, ms % 1000);
    return folder / (baseName + tail);
}

std::string FrameSnapshot::TimeLabel(int64_t timeNs, bool previewOnly) {
    const int64_t ms = timeNs / kNsPerMs;
    char label[64];
    std::snprintf(label, sizeof(label), previewOnly ? "%s:%03" PRId64 : "[%s:%03" PRId64 "]",
                  FormatTime(ms / 1000).c_str(), ms % 1000);
    return label;
}

std::vector<std::filesystem::path> FrameSnapshot::FindPictures(const std::filesystem::path& folder,
                                                               const std::string& baseName) {
    std::vector<std::filesystem::path> found;
    const std::string prefix = baseName + "_";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && name.size() >= prefix.size() + 4 &&
            name.starts_with(prefix) && name.ends_with(".bmp")) {
            found.push_back(entry.path());
        }
    }
    return found;
}

size_t FrameSnapshot::DeletePictures(const std::filesystem::path& folder,
                                     const std::string& baseName) {
    size_t deleted = 0;
    for (const auto& file : FindPictures(folder, baseName)) {
        std::error_code ec;
        deleted += std::filesystem::remove(file, ec) ? 1 : 0;
    }
    return deleted;
}

}  // namespace tapewell
