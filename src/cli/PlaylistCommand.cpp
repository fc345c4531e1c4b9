#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "common/Limits.h"
#include "playlist/ExpandPlaylist.h"
#include "playlist/PlaylistReaders.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli playlist [--engine|--job|--list] [-m MIN] [-p PORT] FILE\n"
    "\n"
    "Prints what a playlist reader makes of FILE (ASX, a \"[Reference]\" list\n"
    "or a plain list of addresses), one element per line:\n"
    "  --engine  the HTTP streaming engine's argument vector (the default);\n"
    "            -m and -p give the time limit and port the vector carries\n"
    "  --job     the addresses the recording job records\n"
    "            (the \"moreinfo\" address goes to stderr)\n"
    "  --list    the addresses the record list adds\n"
    "The scanner's syntax messages go to stderr. A FILE holding binary data\n"
    "(a NUL or another control byte) is refused for --job and --list.\n"
    "\n"
    "Exit status: 0 when FILE is a playlist with addresses, 1 otherwise\n"
    "(with the reason on stderr).\n";

constexpr OptionDef kOptions[] = {
    {"--engine", false}, {"--job", false}, {"--list", false}, {"-m", true}, {"-p", true}};

void PrintMessage(const char* text) {
    std::fputs(text, stderr);
}

// Where the first byte that no text file holds sits: a control byte other
// than TAB, LF and CR.
std::optional<size_t> FindBinaryByte(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F) {
            return i;
        }
    }
    return std::nullopt;
}

int NoAddresses(const std::string& path, std::string_view text) {
    // The job's and the list's readers take a text without references whole
    // as one address, unless it is too short or too long for one.
    const bool tooLong = text.size() >= limits::kPlaylistAddressTextBytes;
    std::fprintf(stderr, "tapewell-cli playlist: no addresses in '%s': %s\n", path.c_str(),
                 tooLong ? "no Ref or EntryRef with an href, and the text is too long to be "
                           "taken as one address"
                         : "no Ref or EntryRef with an href");
    return kExitFailure;
}

int PrintEngineVector(const std::string& path, const std::string& text, long minutes, long port) {
    const PlaylistExpansion expansion = BuildPlaylistVector(
        text, static_cast<uint32_t>(minutes), static_cast<uint16_t>(port), PrintMessage);
    if (!expansion.isPlaylist) {
        std::fputs("tapewell-cli playlist: not a playlist\n", stderr);
        return kExitFailure;
    }
    for (const std::string& element : expansion.args) {
        std::printf("%s\n", element.c_str());
    }
    if (expansion.references == 0) {
        std::fprintf(stderr, "tapewell-cli playlist: no addresses in '%s'\n", path.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int RunPlaylist(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("playlist", args, kOptions, kUsage, 1, parsed)) {
        return *exit;
    }
    if (parsed.Has("--engine") + parsed.Has("--job") + parsed.Has("--list") > 1) {
        return UsageError("playlist", "give one of --engine, --job and --list");
    }
    long minutes = 0;
    long port = 80;
    if (auto error = IntOption(parsed, "-m", 0, 1'000'000, minutes)) {
        return UsageError("playlist", *error);
    }
    if (auto error = IntOption(parsed, "-p", 1, 65535, port)) {
        return UsageError("playlist", *error);
    }
    const std::string& path = parsed.positional[0];
    const ErrorOr<std::string> text = ReadPlaylistFile(path);
    if (!text) {
        std::fprintf(stderr, "tapewell-cli playlist: %s\n", text.error().message.c_str());
        return kExitFailure;
    }
    if (parsed.Has("--job") || parsed.Has("--list")) {
        if (const std::optional<size_t> at = FindBinaryByte(*text)) {
            std::fprintf(stderr,
                         "tapewell-cli playlist: '%s' is not a playlist: it holds binary data "
                         "(byte 0x%02X at offset %zu)\n",
                         path.c_str(), static_cast<unsigned char>((*text)[*at]), *at);
            return kExitFailure;
        }
    }
    if (parsed.Has("--job")) {
        const JobPlaylist playlist = ReadJobPlaylist(*text, PrintMessage);
        for (const std::string& address : playlist.addresses) {
            std::printf("%s\n", address.c_str());
        }
        if (!playlist.moreInfo.empty()) {
            std::fprintf(stderr, "moreinfo %s\n", playlist.moreInfo.c_str());
        }
        return playlist.addresses.empty() ? NoAddresses(path, *text) : kExitOk;
    }
    if (parsed.Has("--list")) {
        const size_t count = ReadListPlaylist(*text, PrintMessage, [](const std::string& address) {
            std::printf("%s\n", address.c_str());
        });
        return count == 0 ? NoAddresses(path, *text) : kExitOk;
    }
    return PrintEngineVector(path, *text, minutes, port);
}

}  // namespace tapewell::cli
