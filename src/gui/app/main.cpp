// tapewell: the desktop program. Whether this start is the first Tapewell
// or hands its item to a running one is settled before any QApplication
// exists, so a hand-over works without a display.
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/StartCommand.h"
#include "gui/app/AppIcon.h"
#include "gui/app/CRecorderApp.h"
#include "gui/app/InstanceChannel.h"
#include "settings/ProfileStore.h"

namespace {

constexpr const char* kUsage =
    "Usage: tapewell [/Open | /Play | /Rec] [ITEM]\n"
    "\n"
    "Opens ITEM (a media file, a list file, a playlist or a stream address,\n"
    "optionally followed by \"&&NAME\") in the record list: /Open and /Play\n"
    "play it, /Rec records it. When Tapewell already runs, the item goes to\n"
    "that window and this start ends.\n"
    "\n"
    "  --help      this text\n"
    "  --version   the version\n";

// Qt's own options, which QApplication takes out of the arguments later;
// these take a value.
bool ToolkitOptionTakesValue(const std::string& arg) {
    static const std::set<std::string> kWithValue{"-platform",
                                                  "-platformpluginpath",
                                                  "-platformtheme",
                                                  "-plugin",
                                                  "-style",
                                                  "-stylesheet",
                                                  "-display",
                                                  "-geometry",
                                                  "-qwindowgeometry",
                                                  "-qwindowtitle",
                                                  "-qwindowicon",
                                                  "-session",
                                                  "-name",
                                                  "-title",
                                                  "-graphicssystem"};
    return kWithValue.count(arg) != 0 || kWithValue.count("-" + arg) != 0;
}

// The arguments that may be switches or the item: options ("-x", "--x")
// belong to Qt and are skipped.
std::vector<std::string> ItemArguments(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() > 1 && arg[0] == '-') {
            if (ToolkitOptionTakesValue(arg)) {
                ++i;
            }
            continue;
        }
        args.push_back(arg);
    }
    return args;
}

// "clip.asf" typed in a terminal means the file in that terminal's folder,
// which the running instance does not know: make it absolute.
std::string AbsoluteWhenLocalFile(const std::string& item) {
    if (item.empty() || item[0] == '/' || item.find("://") != std::string::npos) {
        return item;
    }
    std::error_code error;
    if (!std::filesystem::exists(item, error)) {
        return item;
    }
    const std::filesystem::path absolute = std::filesystem::absolute(item, error);
    return error ? item : absolute.lexically_normal().string();
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("tapewell %s\n", TAPEWELL_VERSION);
            return 0;
        }
    }
    tapewell::StartCommand start = tapewell::ParseStartMode(ItemArguments(argc, argv));
    start.item = AbsoluteWhenLocalFile(start.item);

    tapewell::ProfileStore profile(tapewell::ProfileStore::DefaultPath());
    const bool severalAllowed = profile.GetInt("settings", "Allow Multiple Instances", 0) != 0;
    QString socketPath;
    std::optional<tapewell::gui::instance::Election> election;
    if (!severalAllowed) {
        QString error;
        socketPath = tapewell::gui::instance::SocketPath(&error);
        election.emplace(socketPath);
        const bool first = election->BecomeFirst();
        if (!error.isEmpty() || !election->Error().isEmpty()) {
            std::fprintf(stderr, "tapewell: running without the one-window rule: %s\n",
                         (error.isEmpty() ? election->Error() : error).toLocal8Bit().constData());
            socketPath.clear();
        }
        if (!first) {
            const tapewell::gui::instance::HandOverResult result =
                tapewell::gui::instance::SendHandOver(socketPath, start.mode, start.item);
            if (result.ok) {
                return 0;
            }
            std::fprintf(stderr, "tapewell: %s\n", result.error.c_str());
            return 1;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("Tapewell");
    QApplication::setApplicationVersion(TAPEWELL_VERSION);
    QApplication::setDesktopFileName("tapewell");
    QApplication::setWindowIcon(tapewell::gui::AppIcon());
    tapewell::gui::InstallTranslations(app);
    tapewell::gui::CRecorderApp recorder(profile, start, socketPath);
    recorder.Start();
    return QApplication::exec();
}
