#include "recording/SourceFlags.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "common/Limits.h"
#include "common/TextCodec.h"

namespace tapewell {
namespace {

struct Mark {
    std::string_view text;
    unsigned bit;
};

// The bit of the first mark (in list order) that occurs in text, else 0.
template <size_t N>
unsigned FirstMark(const std::string& text, const std::array<Mark, N>& marks) {
    for (const Mark& mark : marks) {
        if (text.find(mark.text) != std::string::npos) {
            return mark.bit;
        }
    }
    return 0;
}

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// Whether the first line of a short local file names an ASX document.
bool FirstLineHasAsx(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string line(limits::kPlaylistSniffLineBytes, '\0');
    in.read(line.data(), static_cast<std::streamsize>(line.size()));
    line.resize(static_cast<size_t>(in.gcount()));
    const size_t end = line.find_first_of("\r\n");
    if (end != std::string::npos) {
        line.resize(end);
    }
    return Contains(AsciiLower(line), "<asx");
}

}  // namespace

unsigned SourceFlags(const std::string& address) {
    const std::string lower = AsciiLower(address);
    unsigned flags = 0;
    std::error_code error;
    const bool exists = !address.empty() && std::filesystem::is_regular_file(address, error);
    flags |= exists ? kSourceLocalFile : kSourceNoLocalFile;
    flags |= FirstMark(lower, std::array<Mark, 4>{{{"http:", kSourceHttp},
                                                   {"mms:", kSourceMms},
                                                   {"mmst:", kSourceMmst},
                                                   {"mmsu:", kSourceMmsu}}});
    flags |= FirstMark(
        lower,
        std::array<Mark, 3>{{{".asx", kSourceAsx}, {".wmx", kSourceWmx}, {".wvx", kSourceWvx}}});
    flags |= FirstMark(
        lower,
        std::array<Mark, 3>{{{".asf", kSourceAsf}, {".wma", kSourceWma}, {".wmv", kSourceWmv}}});
    if ((flags & kSourceLocalFile) != 0 && (flags & kSourceAsf) != 0) {
        const uintmax_t size = std::filesystem::file_size(address, error);
        if (!error && size < limits::kPlaylistSniffFileBytes && FirstLineHasAsx(address)) {
            flags |= kSourceAsxInAsf;
        }
    }
    return flags;
}

bool IsPlaylistSource(unsigned sourceFlags) {
    return (sourceFlags & (kSourceAsx | kSourceWmx | kSourceWvx | kSourceAsxInAsf)) != 0;
}

unsigned EngineFlags(const std::string& address) {
    const std::string lower = AsciiLower(address);
    unsigned flags =
        Contains(lower, "mms:") || Contains(lower, "mmst:") ? kEngineMms : kEngineNoMms;
    constexpr std::string_view kOther[] = {".mov", ".mpg", ".mpeg", ".rm", ".ram", ".rpm", ".mp3"};
    constexpr std::string_view kWindows[] = {".asx", ".asf", ".wax", ".wma", ".wmv"};
    for (std::string_view mark : kOther) {
        if (Contains(lower, mark)) {
            return flags | kEngineOtherMedia;
        }
    }
    for (std::string_view mark : kWindows) {
        if (Contains(lower, mark)) {
            return flags | kEngineWindowsMedia;
        }
    }
    return flags | kEngineNoMediaType;
}

}  // namespace tapewell
