#include "app/AddressText.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/Limits.h"
#include "common/TextCodec.h"
#include "common/TextFormat.h"
#include "settings/MimeGlobs.h"

namespace tapewell {
namespace {

constexpr std::string_view kBlanks = " \t";

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

struct TypeEntry {
    std::string_view substring;
    std::string_view word;
};

// Tested in this order; the first found anywhere gives the word, so
// ".rmvb" reads as "rm" and ".mpeg" is never reached before ".mpg".
constexpr TypeEntry kTypeWords[] = {
    {".asx", "asx"},   {".asf", "asf"}, {".wax", "wax"}, {".wma", "wma"}, {".mpg", "mpg"},
    {".mpeg", "mpeg"}, {".mp3", "mp3"}, {".avi", "avi"}, {".wmv", "wmv"}, {".rm", "rm"},
    {".ram", "ram"},   {".rpm", "rpm"}, {".mov", "mov"}, {".ibh", "ibh"},
};

struct KindEntry {
    std::string_view substring;
    uint32_t bit;
};

// Within one group only the first substring found counts.
uint32_t FirstOfGroup(std::string_view lower, std::initializer_list<KindEntry> group) {
    for (const KindEntry& entry : group) {
        if (Contains(lower, entry.substring)) {
            return entry.bit;
        }
    }
    return 0;
}

// An ASX playlist saved under an ".asf" name: small, and "<asx" on its first
// line.
bool IsAsxUnderAsf(const std::string& path) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size >= limits::kAsxUnderAsfMaxBytes) {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string line(limits::kAsxUnderAsfLineBytes, '\0');
    in.getline(line.data(), static_cast<std::streamsize>(line.size() + 1));
    line.resize(static_cast<size_t>(in.gcount()));
    return Contains(AsciiLower(line), "<asx");
}

}  // namespace

bool IsLocalPath(std::string_view address) {
    const size_t first = address.find_first_not_of(kBlanks);
    return first != std::string_view::npos && address[first] == '/';
}

std::string TypeWord(std::string_view address) {
    std::string lower = AsciiLower(address);
    const size_t query = lower.find('?');
    if (query != std::string::npos && query > 0) {
        lower.resize(query);
    }
    for (const TypeEntry& entry : kTypeWords) {
        if (Contains(lower, entry.substring)) {
            return std::string(entry.word);
        }
    }
    return {};
}

uint32_t KindFlags(const std::string& path) {
    const std::string lower = AsciiLower(path);
    std::error_code error;
    const bool exists = !path.empty() && std::filesystem::exists(path, error);
    uint32_t flags = exists ? kind::kExists : kind::kMissing;
    flags |=
        FirstOfGroup(lower, {{".asx", kind::kAsx}, {".wmx", kind::kWmx}, {".wvx", kind::kWvx}});
    flags |=
        FirstOfGroup(lower, {{".asf", kind::kAsf}, {".wma", kind::kWma}, {".wmv", kind::kWmv}});
    flags |= FirstOfGroup(lower, {{"http:", kind::kHttp},
                                  {"mms:", kind::kMms},
                                  {"mmst:", kind::kMmst},
                                  {"mmsu:", kind::kMmsu}});
    if (Contains(lower, ".ibh")) {
        flags |= kind::kIbh;
    }
    if (Contains(lower, ".urh")) {
        flags |= kind::kUrh;
    }
    if (Contains(lower, ".ibl")) {
        flags |= kind::kIbl;
    }
    if (exists && Contains(lower, ".asf") && IsAsxUnderAsf(path)) {
        flags |= kind::kAsxInAsf;
    }
    return flags;
}

bool IsPlainLocalMedia(uint32_t kindFlags) {
    constexpr uint32_t kPlaylistBits =
        kind::kAsx | kind::kWmx | kind::kWvx | kind::kPlaylistUnused | kind::kAsxInAsf;
    return (kindFlags & kind::kExists) != 0 && (kindFlags & kPlaylistBits) == 0;
}

std::string DeriveName(std::string_view address) {
    return DeriveName(address, MimeGlobs::System());
}

std::string DeriveName(std::string_view address, const MimeGlobs& globs) {
    const size_t last = address.find_last_not_of(kBlanks);
    address = address.substr(0, last == std::string_view::npos ? 0 : last + 1);
    std::string_view working;
    const size_t dot = address.rfind('.');
    if (dot != std::string_view::npos && dot > 0) {
        const size_t query = address.find('?', dot);
        const std::string_view extension = address.substr(
            dot, query == std::string_view::npos ? std::string_view::npos : query - dot);
        if (globs.IsRegistered(extension)) {
            working = address;
        }
    }
    if (working.empty()) {
        working = address.substr(0, address.find('?'));
    }
    size_t slash = working.rfind('/');
    if (slash == std::string_view::npos) {
        slash = working.rfind('\\');
    }
    std::string_view piece = slash == std::string_view::npos ? working : working.substr(slash + 1);
    const size_t pieceDot = piece.rfind('.');
    if (pieceDot != std::string_view::npos && pieceDot > 0) {
        piece = piece.substr(0, pieceDot);
    }
    return std::string(piece);
}

std::string SizeText(uint64_t length) {
    if (length > 1048575) {
        return FormatText("%" PRIu64 "M", length >> 20);
    }
    if (length > 1023) {
        return FormatText("%" PRIu64 "K", length >> 10);
    }
    return FormatText("%" PRIu64 "B", length);
}

std::string DurationText(uint32_t seconds) {
    return FormatText("%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

std::string PositionText(uint32_t seconds) {
    if (seconds / 3600 != 0) {
        return DurationText(seconds);
    }
    return FormatText("%3u:%02u", seconds / 60, seconds % 60);
}

std::string ProgressText(uint32_t positionMs, uint32_t progress) {
    const uint32_t seconds = positionMs / 1000;
    const uint32_t percent = progress / 100;
    if (seconds / 3600 == 0) {
        return FormatText("%u:%u(%u %%)", seconds / 60, seconds % 60, percent);
    }
    return FormatText("%u:%u:%u(%u %%)", seconds / 3600, seconds / 60 % 60, seconds % 60, percent);
}

std::string RecordedSizeText(uint32_t bytesWritten) {
    return FormatText("%uK", bytesWritten / 1024);
}

}  // namespace tapewell
