#include "playlist/ExpandPlaylist.h"

#include <filesystem>
#include <fstream>

#include "common/Limits.h"
#include "common/TextCodec.h"
#include "common/TextFormat.h"
#include "playlist/AsxScanner.h"
#include "playlist/PlaylistVector.h"

namespace tapewell {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == prefix;
}

bool IsNetworkAddress(std::string_view text) {
    return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "mms://") ||
           StartsWithNoCase(text, "mmsu://") || StartsWithNoCase(text, "mmst://");
}

bool IsPrintable(std::string_view text) {
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c != '\t' && c != '\n' && c != '\r' && (c < 32 || c > 127)) {
            return false;
        }
    }
    return true;
}

// Calls onLine for every line of the text (ended by LF or the end of the
// text), CR bytes dropped. A line longer than the line buffer comes with
// overlong set and only its first limits::kAsxLineBytes - 1 bytes.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine onLine) {
    std::string line;
    bool overlong = false;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            if (i < text.size() || !line.empty() || overlong) {
                onLine(std::string_view(line), overlong);
            }
            line.clear();
            overlong = false;
        } else if (text[i] != '\r') {
            if (line.size() + 1 < limits::kAsxLineBytes) {
                line.push_back(text[i]);
            } else {
                overlong = true;
            }
        }
    }
}

struct VectorState {
    PlaylistVector vector;
    int references = 0;
    bool isPlaylist = false;

    void AddReference(std::string_view address) {
        if (!address.empty() && vector.Append(address)) {
            ++references;
        }
    }
};

void ReadReferenceList(std::string_view text, VectorState& state) {
    std::string section;
    ForEachLine(text, [&](std::string_view line, bool overlong) {
        if (!line.empty() && line[0] == '[') {
            section = std::string(line.substr(0, limits::kAsxSectionBytes - 1));
            if (!overlong && AsciiLower(line) == "[reference]") {
                state.vector.Append("-e");
            }
            return;
        }
        if (overlong || AsciiLower(section) != "[reference]" || !StartsWithNoCase(line, "ref")) {
            return;
        }
        size_t at = 3;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9') {
            ++at;
        }
        if (at < line.size() && line[at] == '=') {
            state.AddReference(line.substr(at + 1));
        }
    });
}

void ReadPlainList(std::string_view text, VectorState& state) {
    state.vector.Append("-e");
    ForEachLine(text, [&](std::string_view line, bool overlong) {
        if (overlong) {
            return;
        }
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos) {
            return;
        }
        line.remove_prefix(start);
        if (StartsWithNoCase(line, "asf ") || StartsWithNoCase(line, "asf\t")) {
            line.remove_prefix(4);
            const size_t rest = line.find_first_not_of(" \t");
            state.AddReference(rest == std::string_view::npos ? std::string_view()
                                                              : line.substr(rest));
        } else if (IsNetworkAddress(line)) {
            state.AddReference(line);
        }
    });
}

// The href of a "Ref" or "EntryRef" tag: only its first attribute counts.
const std::string* RefAddress(const AsxTag& tag) {
    const std::string name = AsciiLower(tag.name);
    if ((name != "ref" && name != "entryref") || tag.attributes.empty()) {
        return nullptr;
    }
    const AsxAttribute& first = tag.attributes.front();
    if (AsciiLower(first.name) != "href" || !first.hasValue) {
        return nullptr;
    }
    return &first.value;
}

}  // namespace

PlaylistExpansion BuildPlaylistVector(std::string_view text, uint32_t maxMinutes, uint16_t port,
                                      const PlaylistMessageCallback& onMessage) {
    PlaylistExpansion result;
    if (text.empty() || !IsPrintable(text)) {
        return result;
    }
    VectorState state;
    state.vector.Append("Quillon");
    if (maxMinutes != 0) {
        state.vector.Append("-m");
        state.vector.Append(FormatText("%d", static_cast<int>(maxMinutes)));
    }
    if (port != 80) {
        state.vector.Append("-p");
        state.vector.Append(FormatText("%d", port));
    }
    AsxScanner scanner(
        [&state](const AsxTag& tag) {
            const std::string name = AsciiLower(tag.name);
            if (name == "asx") {
                state.isPlaylist = true;
            } else if (name == "entry") {
                if (!tag.closing) {
                    state.vector.Append("-e");
                }
            } else if (const std::string* address = RefAddress(tag)) {
                state.AddReference(*address);
            }
        },
        onMessage);
    const AsxMode mode = scanner.Scan(text);
    if (mode == AsxMode::ReferenceList) {
        state.isPlaylist = true;
        ReadReferenceList(text, state);
    } else if (mode == AsxMode::PlainList) {
        state.isPlaylist = true;
        ReadPlainList(text, state);
    }
    result.isPlaylist = state.isPlaylist;
    result.references = state.references;
    result.args = state.vector.Elements();
    return result;
}

ErrorOr<std::string> ReadPlaylistFile(const std::string& fileName) {
    std::error_code error;
    const auto unreadable = [&] {
        return Error::FromErrno(error.value(), "cannot read " + fileName + " (or larger than " +
                                                   std::to_string(limits::kMaxPlaylistFileBytes) +
                                                   " bytes)");
    };
    if (fileName.empty() || IsNetworkAddress(fileName)) {
        return unreadable();
    }
    const std::filesystem::path path(fileName);
    if (!std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) > limits::kMaxPlaylistFileBytes || error) {
        return unreadable();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return unreadable();
    }
    // Read up to one byte past the bound, in case the file grew meanwhile.
    std::string text(limits::kMaxPlaylistFileBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    const auto got = static_cast<size_t>(in.gcount());
    if (got > limits::kMaxPlaylistFileBytes) {
        return unreadable();
    }
    text.resize(got);
    return text;
}

bool ExpandPlaylist(const std::string* fileName, std::span<const uint8_t> text, uint32_t maxMinutes,
                    uint16_t port, const PlaylistMessageCallback& onMessage,
                    const PlaylistRunCallback& run) {
    std::string fileText;
    std::string_view view(reinterpret_cast<const char*>(text.data()), text.size());
    if (fileName != nullptr && text.empty()) {
        ErrorOr<std::string> read = ReadPlaylistFile(*fileName);
        if (!read) {
            return false;
        }
        fileText = std::move(*read);
        view = fileText;
    }
    const PlaylistExpansion expansion = BuildPlaylistVector(view, maxMinutes, port, onMessage);
    if (expansion.references > 0 && run) {
        run(expansion.args);
    }
    return expansion.isPlaylist;
}

}  // namespace tapewell
