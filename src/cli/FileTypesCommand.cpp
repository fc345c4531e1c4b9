#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "settings/DesktopEntry.h"
#include "settings/FileAssociations.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli file-types [--register GROUP]... [--restore GROUP]...\n"
    "       tapewell-cli file-types --desktop-entry PROGRAM\n"
    "       tapewell-cli file-types --mime-package\n"
    "\n"
    "Shows which file types open in Tapewell, one line per group:\n"
    "NAME STATE EXTENSIONS, where STATE is yes, no or partly and the\n"
    "extensions are comma-separated (\"asf yes .asf,.asx,.wmx\"). Groups: asf,\n"
    "wma, wmv, ibh, avi, mpg. Registering makes Tapewell the default in\n"
    "$XDG_CONFIG_HOME/mimeapps.list; restoring gives the previous default\n"
    "back. .asx, .wax, .wvx and .wmx share one MIME type, so registering one\n"
    "of asf, wma, wmv takes those files for the other two as well. The asf\n"
    "group also takes mms://, mmst:// and mmsu:// addresses, and keeps them\n"
    "when it is restored.\n"
    "\n"
    "  --register GROUP        open the group's files in Tapewell\n"
    "  --restore GROUP         give the group's files back to the earlier default\n"
    "                          (both may repeat and run in the order given)\n"
    "  --desktop-entry PROGRAM print tapewell.desktop for PROGRAM\n"
    "  --mime-package          print the MIME package tapewell.xml\n"
    "  -h, --help              show this help\n"
    "\n"
    "Exit status: 0 on success, 1 when a file could not be written.\n";

struct Change {
    bool registering = false;
    const AssociationGroup* group = nullptr;
};

const char* StateWord(int state) {
    switch (state) {
        case 1:
            return "yes";
        case 2:
            return "partly";
        default:
            return "no";
    }
}

void PrintStates(const FileAssociations& associations) {
    for (const auto& group : FileAssociations::Groups()) {
        std::string extensions;
        for (auto extension : group.extensions) {
            extensions += (extensions.empty() ? "" : ",") + std::string(extension);
        }
        std::printf("%.*s %s %s\n", static_cast<int>(group.name.size()), group.name.data(),
                    StateWord(associations.State(group)), extensions.c_str());
    }
}

// The common parser keeps one value per option; --register and --restore
// repeat and their order matters, so they are read here.
std::optional<int> ParseChanges(std::span<char* const> args, std::vector<Change>& changes) {
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        const bool registering = arg == "--register";
        if (!registering && arg != "--restore") {
            return UsageError("file-types", "unknown argument '" + std::string(arg) + "'");
        }
        if (i + 1 == args.size()) {
            return UsageError("file-types", std::string(arg) + " needs a group");
        }
        std::string_view name = args[++i];
        const AssociationGroup* group = FileAssociations::FindGroup(name);
        if (group == nullptr) {
            return UsageError("file-types", "unknown group '" + std::string(name) + "'");
        }
        changes.push_back({registering, group});
    }
    return std::nullopt;
}

}  // namespace

int RunFileTypes(std::span<char* const> args) {
    if (!args.empty() && std::string_view(args[0]) == "--mime-package") {
        if (args.size() != 1) {
            return UsageError("file-types", "--mime-package takes nothing more");
        }
        std::fputs(desktop_entry::MimePackageText().c_str(), stdout);
        return kExitOk;
    }
    if (!args.empty() && std::string_view(args[0]) == "--desktop-entry") {
        if (args.size() != 2 || args[1][0] != '/') {
            return UsageError("file-types", "--desktop-entry needs one absolute program path");
        }
        std::fputs(
            desktop_entry::EntryText(args[1], FileAssociations::AllTypes(MimeGlobs::System()))
                .c_str(),
            stdout);
        return kExitOk;
    }
    std::vector<Change> changes;
    if (auto exit = ParseChanges(args, changes)) {
        return *exit;
    }
    FileAssociations associations(XdgPaths::FromEnvironment());
    for (const auto& change : changes) {
        auto done = change.registering ? associations.Register(*change.group)
                                       : associations.Restore(*change.group);
        if (!done) {
            std::fprintf(stderr, "tapewell-cli file-types: %s\n", done.error().message.c_str());
            return kExitFailure;
        }
    }
    PrintStates(associations);
    return kExitOk;
}

}  // namespace tapewell::cli
