#include "settings/ProfileStore.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <optional>

#include "common/Limits.h"
#include "settings/ProfileFile.h"
#include "settings/UserFolders.h"

namespace tapewell {

namespace {

// A registry DWORD read back as an int: the full unsigned range is accepted
// and wraps, negative values as written by WriteInt down to INT32_MIN.
std::optional<int> ParseProfileInt(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    // from_chars would accept a second sign after ours.
    if (text.empty() || text.front() < '0' || text.front() > '9') {
        return std::nullopt;
    }
    uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (negative) {
        if (magnitude > uint64_t{1} << 31) {
            return std::nullopt;
        }
        return static_cast<int>(-static_cast<int64_t>(magnitude));
    }
    if (magnitude > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(static_cast<uint32_t>(magnitude));
}

// Why a write that would lose or exceed the bounded read is refused.
Error TooLarge() {
    return Error::FromErrno(
        EFBIG, "larger than " + std::to_string(limits::kMaxProfileFileBytes) + " bytes");
}

// A snapshot never ends in half a line: a cut "Password=secr" would read as
// a wrong value rather than a missing one.
std::string_view WholeLines(const profile_file::ReadResult& file) {
    std::string_view text = file.bytes;
    if (file.truncated) {
        size_t lastBreak = text.rfind('\n');
        text = lastBreak == std::string_view::npos ? std::string_view() : text.substr(0, lastBreak);
    }
    return text;
}

}  // namespace

void ProfileEdit::WriteInt(std::string_view section, std::string_view name, int value) {
    WriteString(section, name, std::to_string(value));
}

void ProfileEdit::WriteString(std::string_view section, std::string_view name,
                              std::string_view value) {
    m_changed = m_doc.Set(section, name, value) || m_changed;
}

void ProfileEdit::DeleteSection(std::string_view section) {
    m_changed = m_doc.RemoveSection(section) || m_changed;
}

ProfileStore::ProfileStore(std::filesystem::path iniPath) : m_path(std::move(iniPath)) {
    // A profile that cannot be read starts empty; the first write reports it.
    (void)Reload();
}

std::filesystem::path ProfileStore::DefaultPath() {
    return user_folders::ConfigHome() / "Tapewell" / "Tapewell.ini";
}

ErrorOr<void> ProfileStore::Reload() {
    ErrorOr<profile_file::ReadResult> file =
        profile_file::ReadBounded(m_path, limits::kMaxProfileFileBytes);
    if (!file) {
        return file.error();
    }
    SetSnapshot(IniDocument::Parse(WholeLines(*file)));
    return {};
}

void ProfileStore::LoadText(std::string_view text) {
    if (text.size() > limits::kMaxProfileFileBytes) {
        text = text.substr(0, limits::kMaxProfileFileBytes);
    }
    SetSnapshot(IniDocument::Parse(text));
}

void ProfileStore::SetSnapshot(IniDocument doc) {
    std::lock_guard lock(m_mutex);
    m_snapshot = std::move(doc);
}

int ProfileStore::GetInt(std::string_view section, std::string_view name, int defaultValue) const {
    std::lock_guard lock(m_mutex);
    const std::string* value = m_snapshot.Find(section, name);
    if (value == nullptr) {
        return defaultValue;
    }
    return ParseProfileInt(*value).value_or(defaultValue);
}

std::string ProfileStore::GetString(std::string_view section, std::string_view name,
                                    std::string_view defaultValue) const {
    std::lock_guard lock(m_mutex);
    const std::string* value = m_snapshot.Find(section, name);
    return value == nullptr ? std::string(defaultValue) : *value;
}

ErrorOr<void> ProfileStore::WriteInt(std::string_view section, std::string_view name, int value) {
    return Update([&](ProfileEdit& edit) { edit.WriteInt(section, name, value); });
}

ErrorOr<void> ProfileStore::WriteString(std::string_view section, std::string_view name,
                                        std::string_view value) {
    return Update([&](ProfileEdit& edit) { edit.WriteString(section, name, value); });
}

ErrorOr<void> ProfileStore::DeleteSection(std::string_view section) {
    return Update([&](ProfileEdit& edit) { edit.DeleteSection(section); });
}

ErrorOr<void> ProfileStore::Update(const std::function<void(ProfileEdit&)>& edit) {
    if (m_path.empty() || !m_path.has_filename()) {
        return Error::FromErrno(EINVAL, "no settings file name");
    }
    if (auto folders = profile_file::MakePrivateFolders(m_path.parent_path()); !folders) {
        return folders.error();
    }
    ErrorOr<profile_file::WriteLock> lock =
        profile_file::WriteLock::Acquire(std::filesystem::path(m_path).concat(".lock"));
    if (!lock) {
        return lock.error();
    }
    return WriteLocked(edit);
}

// Runs with the write lock held, so the file read here is the one replaced.
ErrorOr<void> ProfileStore::WriteLocked(const std::function<void(ProfileEdit&)>& edit) {
    ErrorOr<profile_file::ReadResult> current =
        profile_file::ReadBounded(m_path, limits::kMaxProfileFileBytes);
    if (!current) {
        return current.error();
    }
    if (current->truncated) {
        return TooLarge();
    }
    IniDocument doc = IniDocument::Parse(current->bytes);
    ProfileEdit editor(doc);
    edit(editor);
    if (!editor.m_changed) {
        SetSnapshot(std::move(doc));
        return {};
    }
    std::string text = doc.Serialize();
    if (text.size() > limits::kMaxProfileFileBytes) {
        SetSnapshot(IniDocument::Parse(current->bytes));
        return TooLarge();
    }
    if (auto replaced = profile_file::ReplaceAtomically(m_path, text); !replaced) {
        // The rename may or may not have happened; take whatever is there.
        (void)Reload();
        return replaced;
    }
    SetSnapshot(std::move(doc));
    return {};
}

}  // namespace tapewell
