#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "playlist/AsxWriter.h"
#include "playlist/ListPrompt.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli asx OUT --title T [--overwrite] ADDRESS\n"
    "\n"
    "Writes a one-entry ASX playlist for ADDRESS, as the desktop program's\n"
    "\"ASX Save\" does. The title is made usable as a file name first (\\ / :\n"
    "* ? \" < > | become _). When OUT is a folder, the file is\n"
    "OUT/<title>.asx (noname.asx without a title). Prints the path written.\n"
    "\n"
    "  --title T     the entry's title\n"
    "  --overwrite   replace an existing file (otherwise it is kept)\n"
    "  -h, --help    show this help\n"
    "\n"
    "Exit status: 0 when the file was written, 1 when it was not.\n";

constexpr OptionDef kOptions[] = {{"--title", true}, {"--overwrite", false}};

class OverwritePrompt final : public ListPrompt {
public:
    explicit OverwritePrompt(bool overwrite) : m_overwrite(overwrite) {}
    bool ConfirmDelete() override { return false; }
    Answer AskSaveCredentials() override { return Answer::No; }
    bool ConfirmOverwrite(const std::string&) override { return m_overwrite; }

private:
    bool m_overwrite;
};

}  // namespace

int RunAsx(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("asx", args, kOptions, kUsage, 2, parsed)) {
        return *exit;
    }
    std::string title = parsed.options["--title"];
    ReplaceReservedFileNameChars(title);
    std::filesystem::path out = parsed.positional[0];
    std::error_code error;
    if (std::filesystem::is_directory(out, error)) {
        out = AsxPathFor(out, title);
    }
    OverwritePrompt prompt(parsed.Has("--overwrite"));
    const ErrorOr<AsxWriteResult> written = WriteAsx(out, title, parsed.positional[1], &prompt);
    if (!written) {
        std::fprintf(stderr, "tapewell-cli asx: cannot write '%s': %s\n", out.c_str(),
                     written.error().message.c_str());
        return kExitFailure;
    }
    switch (*written) {
        case AsxWriteResult::Written:
            std::printf("%s\n", out.c_str());
            return kExitOk;
        case AsxWriteResult::Declined:
            break;
    }
    std::fprintf(stderr, "tapewell-cli asx: '%s' exists; --overwrite replaces it\n", out.c_str());
    return kExitFailure;
}

}  // namespace tapewell::cli
