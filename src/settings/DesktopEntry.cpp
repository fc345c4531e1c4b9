#include "settings/DesktopEntry.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "settings/MimeAppsList.h"
#include "settings/ProfileFile.h"

extern char** environ;

namespace tapewell::desktop_entry {
namespace {

namespace fs = std::filesystem;

constexpr int kToolTimeoutMs = 5000;

// Inside a quoted Exec argument these four characters take a backslash; a
// literal "%" is "%%" anywhere in Exec, since "%u" and friends are codes.
std::string QuoteArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    return quoted + "\"";
}

// A string value of a desktop entry escapes backslashes and line breaks;
// this applies on top of the Exec quoting.
std::string EscapeValue(std::string_view value) {
    std::string escaped;
    for (char c : value) {
        switch (c) {
            case '\\':
                escaped += "\\\\";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\t':
                escaped += "\\t";
                break;
            case '\r':
                escaped += "\\r";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string UnescapeValue(std::string_view value) {
    std::string plain;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            plain += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's':
                plain += ' ';
                break;
            case 'n':
                plain += '\n';
                break;
            case 't':
                plain += '\t';
                break;
            case 'r':
                plain += '\r';
                break;
            default:
                plain += value[i];
        }
    }
    return plain;
}

// Compares bytes, so that an entry already right is not rewritten (and
// the desktop's caches are not rebuilt for nothing).
ErrorOr<bool> WriteIfChanged(const fs::path& path, std::string_view text) {
    auto old = profile_file::ReadBounded(path, kMaxEntryBytes);
    if (!old) {
        return Error::FromErrno(old.error().code,
                                "cannot write " + path.string() + ": " + old.error().message);
    }
    if (old->bytes == text && !old->truncated) {
        return false;
    }
    auto written = profile_file::MakePrivateFolders(path.parent_path());
    if (written) {
        written = profile_file::ReplaceAtomically(path, text);
    }
    if (!written) {
        return Error::FromErrno(written.error().code,
                                "cannot write " + path.string() + ": " + written.error().message);
    }
    return true;
}

// An installed Tapewell brings its own entry; one that starts this very
// program makes a per-user copy needless.
bool InstalledEntryStarts(const std::vector<fs::path>& dataDirs, const fs::path& program) {
    for (const auto& dir : dataDirs) {
        auto text = profile_file::ReadBounded(dir / "applications" / kDesktopId, kMaxEntryBytes);
        if (!text || text->bytes.empty()) {
            continue;
        }
        auto exec = MimeAppsList(text->bytes).Value("Desktop Entry", "Exec");
        if (exec && ExecProgram(*exec) == program.string()) {
            return true;
        }
    }
    return false;
}

void Refresh(const char* tool, const fs::path& folder) {
    auto ran = RunTool({tool, folder.string()}, kToolTimeoutMs);
    if (!ran && ran.error().code != ENOENT) {
        std::fprintf(stderr, "tapewell: %s %s: %s\n", tool, folder.c_str(),
                     ran.error().message.c_str());
    }
}

}  // namespace

std::string ExecLine(const fs::path& program, std::string_view mode) {
    return EscapeValue(QuoteArgument(program.string())) + " " + std::string(mode) + " %u";
}

std::optional<std::string> ExecProgram(std::string_view execValue) {
    const std::string exec = UnescapeValue(execValue);
    std::string program;
    size_t i = 0;
    const bool quoted = !exec.empty() && exec[0] == '"';
    for (i = quoted ? 1 : 0; i < exec.size(); ++i) {
        char c = exec[i];
        if (quoted && c == '"') {
            break;
        }
        if (!quoted && (c == ' ' || c == '\t')) {
            break;
        }
        if (quoted && c == '\\' && i + 1 < exec.size()) {
            c = exec[++i];
        } else if (c == '%' && i + 1 < exec.size() && exec[i + 1] == '%') {
            ++i;
        }
        program += c;
    }
    if (program.empty() || (quoted && i >= exec.size())) {
        return std::nullopt;
    }
    return program;
}

std::string EntryText(const fs::path& program, const std::vector<std::string>& mimeTypes) {
    std::string types;
    for (const auto& type : mimeTypes) {
        types += type + ";";
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tapewell\n"
           "Comment=Open with Tapewell\n"
           "Comment[ko]=Tapewell로 열기\n"
           "Exec=" +
           ExecLine(program, "/Open") +
           "\n"
           "Icon=tapewell\n"
           "Terminal=false\n"
           "Categories=AudioVideo;Video;Player;Recorder;\n"
           "MimeType=" +
           types +
           "\n"
           "Actions=Play;Record;\n"
           "\n"
           "[Desktop Action Play]\n"
           "Name=Play with Tapewell\n"
           "Name[ko]=Tapewell로 재생\n"
           "Exec=" +
           ExecLine(program, "/Play") +
           "\n"
           "\n"
           "[Desktop Action Record]\n"
           "Name=Record with Tapewell\n"
           "Name[ko]=Tapewell로 녹화\n"
           "Exec=" +
           ExecLine(program, "/Record") + "\n";
}

std::string MimePackageText() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "  <mime-type type=\"" +
           std::string(kListType) +
           "\">\n"
           "    <comment>Tapewell record list</comment>\n"
           "    <comment xml:lang=\"ko\">Tapewell 녹화 목록</comment>\n"
           "    <glob pattern=\"*.ibh\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

ErrorOr<InstallResult> Install(const fs::path& dataHome, const std::vector<fs::path>& dataDirs,
                               const fs::path& program, const std::vector<std::string>& mimeTypes) {
    InstallResult result;
    const fs::path entryPath = dataHome / "applications" / kDesktopId;
    std::error_code error;
    // A per-user entry hides the installed one, so once there it is kept
    // up to date rather than left naming another program.
    if (fs::exists(entryPath, error) || !InstalledEntryStarts(dataDirs, program)) {
        auto written = WriteIfChanged(entryPath, EntryText(program, mimeTypes));
        if (!written) {
            return written.error();
        }
        result.entryWritten = *written;
    }
    auto written =
        WriteIfChanged(dataHome / "mime" / "packages" / "tapewell.xml", MimePackageText());
    if (!written) {
        return written.error();
    }
    result.packageWritten = *written;
    return result;
}

void RefreshCaches(const fs::path& dataHome, const InstallResult& installed) {
    if (installed.packageWritten) {
        Refresh("update-mime-database", dataHome / "mime");
    }
    if (installed.entryWritten) {
        Refresh("update-desktop-database", dataHome / "applications");
    }
}

ErrorOr<void> RunTool(const std::vector<std::string>& argv, int timeoutMs) {
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The CLI prints its own results on stdout; the tools' chatter stays
    // out of it. Their stderr is the log.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return Error::FromErrno(spawned, std::strerror(spawned));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (true) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            return Error::FromErrno(errno, std::strerror(errno));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return Error::FromErrno(ETIMEDOUT, "did not finish in time and was stopped");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return {};
    }
    if (WIFEXITED(status)) {
        return Error::FromMessage("exit status " + std::to_string(WEXITSTATUS(status)));
    }
    return Error::FromMessage("ended by signal " + std::to_string(WTERMSIG(status)));
}

}  // namespace tapewell::desktop_entry
