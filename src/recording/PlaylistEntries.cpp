// Playlists the job records itself: the file is read with the job's
// playlist reader and each entry is recorded in turn, depth first.
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/Limits.h"
#include "common/TextFormat.h"
#include "playlist/PlaylistReaders.h"
#include "recording/CmmsThread.h"

namespace tapewell {

void CmmsThread::RecordPlaylistFile(const std::filesystem::path& path) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size >= limits::kJobPlaylistFileBytes) {
        return;  // not readable, or too large to be a playlist: nothing recorded
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const JobPlaylist playlist = ReadJobPlaylist(text, [this](const char* message) {
        std::lock_guard lock(m_textLock);
        m_lastMessage = message;
    });
    RecordEntries(playlist.addresses);
}

void CmmsThread::RecordEntries(const std::vector<std::string>& addresses) {
    if (addresses.size() == 1) {
        if (!m_stop.load()) {
            RecordSource(addresses[0], m_name);
        }
        return;
    }
    for (size_t i = 0; i < addresses.size() && !m_stop.load(); ++i) {
        const std::string name =
            m_name.empty() ? std::string() : FormatText("%s%zu", m_name.c_str(), i);
        RecordSource(addresses[i], name);
    }
}

}  // namespace tapewell
