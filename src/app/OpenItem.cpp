#include "app/OpenItem.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "app/AddressText.h"
#include "app/ListFiles.h"
#include "app/RecentUrls.h"
#include "app/RecordList.h"
#include "common/ByteSource.h"
#include "common/Limits.h"
#include "playlist/PlaylistReaders.h"

namespace tapewell {
namespace {

constexpr uint32_t kPlaylistBits =
    kind::kAsx | kind::kWmx | kind::kWvx | kind::kPlaylistUnused | kind::kAsxInAsf;

// The addresses of a playlist file, or nullopt when it cannot be read or is
// too large to be taken for one.
std::optional<std::vector<std::string>> ReadPlaylistAddresses(const std::string& path) {
    ErrorOr<FileSource> source = FileSource::Open(path);
    if (!source || source->Size() >= limits::kOpenPlaylistMaxBytes) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(source->Size());
    bytes.resize(source->ReadAt(0, bytes));
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::vector<std::string> addresses;
    ReadListPlaylist(
        text, [](const char*) {},
        [&addresses](const std::string& address) { addresses.push_back(address); });
    return addresses;
}

ErrorOr<int> LoadList(RecordList& list, const std::string& path, uint32_t kinds, LoginCheck* check,
                      std::string* warning) {
    ErrorOr<ListLoadResult> result =
        kinds == kind::kIbhFile ? LoadListFile(list, path, check) : LoadFolderList(list, path);
    if (!result) {
        return result.error();
    }
    if (warning != nullptr) {
        *warning = std::move(result->warning);
    }
    return -1;
}

}  // namespace

ErrorOr<int> OpenItem(RecordList& list, RecentUrls& recent, const std::string& path,
                      const std::string& name, const std::string& option, LoginCheck* check,
                      std::string* warning) {
    if (warning != nullptr) {
        warning->clear();
    }
    if (path.empty()) {
        return -1;
    }
    const uint32_t kinds = KindFlags(path);
    std::string itemName = name;
    if (itemName.empty() && (kinds & (kind::kExists | kind::kAsxInAsf)) != 0) {
        itemName = std::filesystem::path(path).stem().string();
    }
    if (kinds == kind::kIbhFile || kinds == kind::kUrhFile) {
        return LoadList(list, path, kinds, check, warning);
    }

    int row = -1;
    std::optional<std::vector<std::string>> addresses;
    if ((kinds & kPlaylistBits) != 0) {
        addresses = ReadPlaylistAddresses(path);
    }
    if (!addresses) {
        row = list.AddItem(path, itemName, option, "");
    } else {
        const bool numbered = addresses->size() > 1 && !itemName.empty();
        for (size_t i = 0; i < addresses->size(); ++i) {
            const std::string entryName = numbered ? itemName + std::to_string(i) : itemName;
            const int added = list.AddItem((*addresses)[i], entryName, "", "");
            if (i == 0) {
                row = added;
            }
        }
    }
    recent.Add(path);
    return row;
}

}  // namespace tapewell
