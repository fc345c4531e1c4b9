#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/AddressText.h"
#include "app/ListFiles.h"
#include "app/LoginCheck.h"
#include "app/RecordList.h"
#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "engine/JobPrompt.h"
#include "playlist/ListPrompt.h"
#include "settings/ProfileStore.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli list show FILE [--login-check]\n"
    "       tapewell-cli list make OUT.ibh [--title T] [--mode all|url|file]\n"
    "                              [--user U --password P [--save-credentials]]\n"
    "                              [[--time T] [--size S] [--info I] ADDRESS[=NAME]]...\n"
    "\n"
    "show prints a record list file (.ibh, or a .urh folder list): its title,\n"
    "whether it stores credentials, and one tab-separated line per row with\n"
    "File, Original File, Time, Size, Info and the row's mark (0 local file,\n"
    "1 network address).\n"
    "  --login-check     when the file stores credentials, try them on its\n"
    "                    first network address (a server's credentials\n"
    "                    question is answered Cancel) and print the status\n"
    "\n"
    "make adds each ADDRESS to a new list as the desktop program's Open does\n"
    "(a second equal ADDRESS adds nothing; without NAME the name is derived\n"
    "from the address; a local file's size is filled in) and saves it.\n"
    "An ADDRESS holding '=' itself needs a trailing '=NAME' or '='.\n"
    "  --title T         the list title\n"
    "  --mode M          rows written: all (default), url (network rows\n"
    "                    only) or file (local files only)\n"
    "  --user U, --password P  credentials of the list\n"
    "  --save-credentials      store them in the file (the question is\n"
    "                    otherwise answered No)\n"
    "  --time T, --size S, --info I  cells of the next ADDRESS only\n"
    "\n"
    "Exit status: 0 on success, 1 when the file could not be read or written,\n"
    "or when show could read it only in part (the rows read are printed, and\n"
    "a warning on stderr says how many are missing).\n";

// The list's questions answered from the command line's flags.
class FlagPrompt final : public ListPrompt {
public:
    explicit FlagPrompt(bool saveCredentials) : m_saveCredentials(saveCredentials) {}
    bool ConfirmDelete() override { return false; }
    Answer AskSaveCredentials() override { return m_saveCredentials ? Answer::Yes : Answer::No; }
    bool ConfirmOverwrite(const std::string&) override { return false; }

private:
    bool m_saveCredentials;
};

class CancelPrompt final : public JobPrompt {
public:
    std::optional<Credentials> AskCredentials(const std::string&, const std::string&,
                                              const std::string&) override {
        return std::nullopt;
    }
};

void PrintList(const RecordList& list) {
    std::printf("Title: %s\n", list.Title().c_str());
    const bool stored = !list.UserName().empty() || !list.Password().empty();
    std::printf("Credentials: %s\n", stored ? "stored" : "none");
    std::printf("File\tOriginal File\tTime\tSize\tInfo\tMark\n");
    for (int i = 0; i < list.RowCount(); ++i) {
        const RecordRow& row = list.Row(i);
        std::printf("%s\t%s\t%s\t%s\t%s\t%d\n", row.cells[kColFile].c_str(),
                    row.cells[kColOriginalFile].c_str(), row.cells[kColTime].c_str(),
                    row.cells[kColSize].c_str(), row.cells[kColInfo].c_str(), row.mark);
    }
}

int RunShow(std::span<char* const> args) {
    constexpr OptionDef kOptions[] = {{"--login-check", false}};
    ParsedArgs parsed;
    if (auto exit = StartCommand("list show", args, kOptions, kUsage, 1, parsed)) {
        return *exit;
    }
    const std::string path = parsed.positional[0];
    RecordList list;
    CancelPrompt cancel;
    ProfileStore profile(ProfileStore::DefaultPath());
    LoginCheck check(&cancel, &profile);
    const bool folderList = KindFlags(path) == kind::kUrhFile;
    ErrorOr<ListLoadResult> result =
        folderList ? LoadFolderList(list, path)
                   : LoadListFile(list, path, parsed.Has("--login-check") ? &check : nullptr);
    if (!result) {
        std::fprintf(stderr, "tapewell-cli list show: '%s': %s\n", path.c_str(),
                     result.error().message.c_str());
        return kExitFailure;
    }
    PrintList(list);
    if (result->login) {
        std::printf("Login check: %ld\n", result->login->status);
    }
    if (!result->warning.empty()) {
        std::fprintf(stderr, "tapewell-cli list show: '%s': %s\n", path.c_str(),
                     result->warning.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

struct MakeArgs {
    std::string out;
    std::string title;
    ListSaveMode mode = ListSaveMode::All;
    std::string user;
    std::string password;
    bool saveCredentials = false;
    struct Item {
        std::string address;
        std::string name;
        std::optional<std::string> time;
        std::optional<std::string> size;
        std::optional<std::string> info;
    };
    std::vector<Item> items;
};

std::optional<ListSaveMode> ParseMode(std::string_view text) {
    if (text == "all") {
        return ListSaveMode::All;
    }
    if (text == "url") {
        return ListSaveMode::OnlyUrl;
    }
    if (text == "file") {
        return ListSaveMode::OnlyFile;
    }
    return std::nullopt;
}

// ADDRESS[=NAME], split at the last "=".
MakeArgs::Item ParseItem(std::string_view text) {
    MakeArgs::Item item;
    const size_t eq = text.rfind('=');
    item.address = std::string(text.substr(0, eq));
    if (eq != std::string_view::npos) {
        item.name = std::string(text.substr(eq + 1));
    }
    return item;
}

// One option that takes a value; the cell options wait in pending for the
// next address.
std::optional<std::string> TakeMakeOption(std::string_view name, const std::string& value,
                                          MakeArgs& out, MakeArgs::Item& pending) {
    if (name == "--title") {
        out.title = value;
    } else if (name == "--mode") {
        auto mode = ParseMode(value);
        if (!mode) {
            return "--mode takes all, url or file";
        }
        out.mode = *mode;
    } else if (name == "--user") {
        out.user = value;
    } else if (name == "--password") {
        out.password = value;
    } else if (name == "--time") {
        pending.time = value;
    } else if (name == "--size") {
        pending.size = value;
    } else if (name == "--info") {
        pending.info = value;
    } else {
        return "unknown option '" + std::string(name) + "'";
    }
    return std::nullopt;
}

// Options here depend on their place (--time applies to the next address),
// so make reads its arguments in order itself.
std::optional<std::string> ParseMake(std::span<char* const> args, MakeArgs& out, bool& help) {
    MakeArgs::Item pending;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            if (out.out.empty()) {
                out.out = std::string(arg);
                continue;
            }
            MakeArgs::Item item = ParseItem(arg);
            item.time = std::exchange(pending.time, std::nullopt);
            item.size = std::exchange(pending.size, std::nullopt);
            item.info = std::exchange(pending.info, std::nullopt);
            out.items.push_back(std::move(item));
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--save-credentials") {
            out.saveCredentials = true;
        } else {
            const std::string_view name = arg.substr(0, arg.find('='));
            std::string value;
            if (name.size() < arg.size()) {
                value = std::string(arg.substr(name.size() + 1));
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return "option '" + std::string(name) + "' needs a value";
            }
            if (auto error = TakeMakeOption(name, value, out, pending)) {
                return error;
            }
        }
    }
    if (pending.time || pending.size || pending.info) {
        return "--time, --size and --info need an ADDRESS after them";
    }
    return std::nullopt;
}

int RunMake(std::span<char* const> args) {
    MakeArgs make;
    bool help = false;
    if (auto error = ParseMake(args, make, help)) {
        return UsageError("list make", *error);
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (make.out.empty() || make.items.empty()) {
        return UsageError("list make", "missing OUT.ibh or ADDRESS");
    }
    FlagPrompt prompt(make.saveCredentials);
    RecordList list(&prompt);
    list.SetTitle(make.title);
    list.SetCredentials(make.user, make.password);
    for (const MakeArgs::Item& item : make.items) {
        const int row = list.AddItem(item.address, item.name, item.size.value_or(""), "");
        if (item.time) {
            list.SetCellText(row, kColTime, *item.time);
        }
        if (item.size) {
            list.SetCellText(row, kColSize, *item.size);
        }
        if (item.info) {
            list.SetCellText(row, kColInfo, *item.info);
        }
    }
    const ErrorOr<ListSaveResult> saved = SaveListFile(list, make.out, make.mode, &prompt);
    if (!saved || *saved != ListSaveResult::Saved) {
        // A cancelled save has no reason to give.
        std::fprintf(stderr, "tapewell-cli list make: cannot write '%s': %s\n", make.out.c_str(),
                     saved ? "" : saved.error().message.c_str());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int RunList(std::span<char* const> args) {
    if (args.empty()) {
        return UsageError("list", "missing show or make");
    }
    const std::string_view action = args[0];
    if (action == "show") {
        return RunShow(args.subspan(1));
    }
    if (action == "make") {
        return RunMake(args.subspan(1));
    }
    if (action == "--help" || action == "-h") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    return UsageError("list", "unknown action '" + std::string(action) + "'");
}

}  // namespace tapewell::cli
