#include "app/UrhFile.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "common/ByteSource.h"
#include "common/Limits.h"
#include "common/TextCodec.h"
#include "common/TextFormat.h"

namespace tapewell {
namespace {

using Section = std::map<std::string, std::string>;  // lower-case key -> value

std::string_view Trim(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r";
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string ValueOf(std::string_view raw) {
    std::string_view value = Trim(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    size_t chars = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        if ((static_cast<uint8_t>(value[i]) & 0xC0) != 0x80 &&
            chars++ == limits::kFolderListValueChars) {
            value = value.substr(0, i);
            break;
        }
    }
    return std::string(value);
}

std::map<std::string, Section> ReadSections(std::string_view text) {
    std::map<std::string, Section> sections;
    std::set<std::string> seen;
    Section* current = nullptr;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            // Values under a broken header belong to no section; only the
            // first section of a name is read, as the profile functions do.
            const size_t close = line.find(']');
            const std::string name = close == std::string_view::npos
                                         ? std::string()
                                         : AsciiLower(Trim(line.substr(1, close - 1)));
            current = close != std::string_view::npos && seen.insert(name).second ? &sections[name]
                                                                                  : nullptr;
            continue;
        }
        const size_t eq = line.find('=');
        if (current != nullptr && eq != std::string_view::npos) {
            current->try_emplace(AsciiLower(Trim(line.substr(0, eq))),
                                 ValueOf(line.substr(eq + 1)));
        }
    }
    return sections;
}

std::string Get(const std::map<std::string, Section>& sections, const std::string& section,
                const std::string& key) {
    auto s = sections.find(section);
    if (s == sections.end()) {
        return {};
    }
    auto k = s->second.find(key);
    return k == s->second.end() ? std::string() : k->second;
}

// The leading whole number of text, as the profile functions read an
// integer: an optional "-", then digits; 0 when there are none.
long LeadingNumber(const std::string& text) {
    long value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error == std::errc::result_out_of_range) {
        return text.starts_with('-') ? -1 : limits::kMaxFolderListSections;
    }
    return stop == text.data() ? 0 : value;
}

}  // namespace

UrhFile::Contents UrhFile::Parse(std::string_view text) {
    std::string decoded =
        IsValidUtf8(text)
            ? std::string(text)
            : Cp949ToUtf8({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    if (decoded.starts_with("\xEF\xBB\xBF")) {
        decoded.erase(0, 3);
    }
    const auto sections = ReadSections(decoded);
    Contents contents;
    contents.files =
        std::min(LeadingNumber(Get(sections, "info", "files")), limits::kMaxFolderListSections);
    for (long i = 0; i < contents.files; ++i) {
        const std::string section = FormatText("folder %ld", i);
        UrhFolder folder{Get(sections, section, "title"), Get(sections, section, "url"),
                         Get(sections, section, "path"), Get(sections, section, "name")};
        if (!folder.url.empty()) {
            contents.folders.push_back(std::move(folder));
        }
    }
    return contents;
}

ErrorOr<UrhFile::Contents> UrhFile::Load(const std::filesystem::path& path) {
    ErrorOr<FileSource> source = FileSource::Open(path);
    if (!source) {
        return source.error();
    }
    if (source->Size() > limits::kMaxFolderListBytes) {
        return Error::FromMessage("too large for a folder list");
    }
    std::vector<uint8_t> bytes(source->Size());
    bytes.resize(source->ReadAt(0, bytes));
    const std::string text(bytes.begin(), bytes.end());
    return Parse(text);
}

}  // namespace tapewell
