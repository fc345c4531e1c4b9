#include "settings/FileAssociations.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "common/TextCodec.h"
#include "settings/DesktopEntry.h"
#include "settings/MimeAppsList.h"
#include "settings/ProfileFile.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;
using desktop_entry::kDesktopId;

// An absolute path from the variable, else home joined with fallback;
// relative values are ignored, as the XDG base directories ask.
fs::path HomeFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') {
        return value;
    }
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : "/") / fallback;
}

std::vector<std::string> SplitList(const char* value, const char* fallback, bool pathsOnly) {
    std::string_view rest = value != nullptr && value[0] != '\0' ? value : fallback;
    std::vector<std::string> items;
    while (!rest.empty()) {
        size_t colon = rest.find(':');
        std::string_view item = rest.substr(0, colon);
        if (!item.empty() && (!pathsOnly || item.front() == '/')) {
            items.emplace_back(item);
        }
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    return items;
}

std::vector<fs::path> PathList(const char* variable, const char* fallback) {
    auto items = SplitList(std::getenv(variable), fallback, true);
    return {items.begin(), items.end()};
}

Error WithPath(const char* what, const fs::path& path, const Error& error) {
    return Error::FromErrno(error.code,
                            std::string(what) + " " + path.string() + ": " + error.message);
}

}  // namespace

XdgPaths XdgPaths::FromEnvironment() {
    XdgPaths paths;
    paths.configHome = HomeFolder("XDG_CONFIG_HOME", ".config");
    paths.configDirs = PathList("XDG_CONFIG_DIRS", "/etc/xdg");
    paths.dataHome = HomeFolder("XDG_DATA_HOME", ".local/share");
    paths.dataDirs = PathList("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    for (auto& desktop : SplitList(std::getenv("XDG_CURRENT_DESKTOP"), "", false)) {
        paths.desktops.push_back(AsciiLower(desktop));
    }
    std::error_code error;
    paths.program = fs::canonical("/proc/self/exe", error);
    return paths;
}

FileAssociations::FileAssociations(XdgPaths paths) : m_paths(std::move(paths)) {
    std::vector<fs::path> dataDirs{m_paths.dataHome};
    dataDirs.insert(dataDirs.end(), m_paths.dataDirs.begin(), m_paths.dataDirs.end());
    m_globs = MimeGlobs::Load(dataDirs);
}

const std::vector<AssociationGroup>& FileAssociations::Groups() {
    static const std::vector<AssociationGroup> groups = {
        {"asf",
         "Windows Media File(.asf, .asx, .wmx )",
         {".asf", ".asx", ".wmx"},
         {"x-scheme-handler/mms", "x-scheme-handler/mmst", "x-scheme-handler/mmsu"}},
        {"wma", "Windows Media Audio File( .wma, .wax )", {".wma", ".wax"}, {}},
        {"wmv", "Windows Media Audio/Video File(.wmv,wvx)", {".wmv", ".wvx"}, {}},
        {"ibh", "TV File( *.IBH )", {".ibh"}, {}},
        {"avi", "Video File( avi )", {".avi"}, {}},
        {"mpg", "Movie File( mpg, mpeg )", {".mpg", ".mpeg"}, {}},
    };
    return groups;
}

const AssociationGroup* FileAssociations::FindGroup(std::string_view name) {
    for (const auto& group : Groups()) {
        if (group.name == name) {
            return &group;
        }
    }
    return nullptr;
}

std::vector<std::string> FileAssociations::AllTypes(const MimeGlobs& globs) {
    std::vector<std::string> types;
    auto add = [&types](std::string type) {
        if (!type.empty() && std::find(types.begin(), types.end(), type) == types.end()) {
            types.push_back(std::move(type));
        }
    };
    for (const auto& group : Groups()) {
        for (auto extension : group.extensions) {
            add(globs.TypeOf(extension));
        }
        for (auto scheme : group.schemes) {
            add(std::string(scheme));
        }
    }
    return types;
}

std::vector<std::string> FileAssociations::TypesOf(const AssociationGroup& group) const {
    std::vector<std::string> types;
    for (auto extension : group.extensions) {
        std::string type = m_globs.TypeOf(extension);
        if (!type.empty() && std::find(types.begin(), types.end(), type) == types.end()) {
            types.push_back(std::move(type));
        }
    }
    return types;
}

fs::path FileAssociations::UserListPath() const {
    return m_paths.configHome / "mimeapps.list";
}

// The XDG MIME Applications order: the config folders before the data
// folders' "applications", the user's before the system's, and in each
// folder the current desktops' own lists before the common one.
std::vector<fs::path> FileAssociations::ListFiles() const {
    std::vector<fs::path> folders{m_paths.configHome};
    folders.insert(folders.end(), m_paths.configDirs.begin(), m_paths.configDirs.end());
    folders.push_back(m_paths.dataHome / "applications");
    for (const auto& dir : m_paths.dataDirs) {
        folders.push_back(dir / "applications");
    }
    std::vector<fs::path> files;
    for (const auto& folder : folders) {
        for (const auto& desktop : m_paths.desktops) {
            files.push_back(folder / (desktop + "-mimeapps.list"));
        }
        files.push_back(folder / "mimeapps.list");
    }
    return files;
}

std::string FileAssociations::DefaultFor(std::string_view type) const {
    for (const auto& file : ListFiles()) {
        auto text = profile_file::ReadBounded(file, MimeAppsList::kMaxBytes);
        if (!text || text->bytes.empty()) {
            continue;
        }
        auto entries = MimeAppsList(text->bytes).Entries(MimeAppsList::kDefaultGroup, type);
        if (!entries.empty()) {
            return entries.front();
        }
    }
    return {};
}

int FileAssociations::State(const AssociationGroup& group) const {
    size_t ours = 0;
    const auto types = TypesOf(group);
    for (const auto& type : types) {
        if (DefaultFor(type) == kDesktopId) {
            ++ours;
        }
    }
    if (ours == 0) {
        return 0;
    }
    return ours == types.size() ? 1 : 2;
}

ErrorOr<void> FileAssociations::Register(const AssociationGroup& group) {
    return Edit(group, true);
}

ErrorOr<void> FileAssociations::Restore(const AssociationGroup& group) {
    return Edit(group, false);
}

// The list is read and changed in memory before anything is written, so an
// unreadable list leaves every file as it was; it is replaced in one rename,
// and not at all when nothing changed.
ErrorOr<void> FileAssociations::Edit(const AssociationGroup& group, bool add) {
    const fs::path path = UserListPath();
    auto old = profile_file::ReadBounded(path, MimeAppsList::kMaxBytes);
    if (!old) {
        return WithPath("cannot read", path, old.error());
    }
    if (old->truncated) {
        return Error::FromMessage("cannot edit " + path.string() + ": the file is too large");
    }
    MimeAppsList list(old->bytes);
    auto types = TypesOf(group);
    if (add) {
        types.insert(types.end(), group.schemes.begin(), group.schemes.end());
    }
    bool changed = false;
    for (const auto& type : types) {
        for (auto section : {MimeAppsList::kDefaultGroup, MimeAppsList::kAddedGroup}) {
            changed |= add ? list.PutFirst(section, type, kDesktopId)
                           : list.Remove(section, type, kDesktopId);
        }
    }
    desktop_entry::InstallResult installed;
    if (add) {
        auto result = desktop_entry::Install(m_paths.dataHome, m_paths.dataDirs, m_paths.program,
                                             AllTypes(m_globs));
        if (!result) {
            return result.error();
        }
        installed = *result;
    }
    if (changed) {
        auto written = profile_file::MakePrivateFolders(m_paths.configHome);
        if (written) {
            written = profile_file::ReplaceAtomically(path, list.Text());
        }
        if (!written) {
            return WithPath("cannot write", path, written.error());
        }
    }
    desktop_entry::RefreshCaches(m_paths.dataHome, installed);
    return {};
}

}  // namespace tapewell
