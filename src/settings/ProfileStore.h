#pragma once

#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "common/ErrorOr.h"
#include "settings/IniDocument.h"

namespace tapewell {

// Changes collected by ProfileStore::Update and written in one go.
class ProfileEdit {
public:
    void WriteInt(std::string_view section, std::string_view name, int value);
    void WriteString(std::string_view section, std::string_view name, std::string_view value);
    void DeleteSection(std::string_view section);

private:
    friend class ProfileStore;
    explicit ProfileEdit(IniDocument& doc) : m_doc(doc) {}

    IniDocument& m_doc;
    bool m_changed = false;
};

// The user's profile: named values in named sections, kept in an INI file
// (see IniDocument for the text form). Section names such as
// "FileTypeList\type" or "NetPassword\<host>" are ordinary names; a
// section's unnamed default value is addressed with the name "".
//
// Reads come from a snapshot taken at construction, by Reload() and after
// each write of this object. Every write is a locked read-modify-write of the
// whole file: under a flock on "<file>.lock" the current file is read again,
// the change applied, and the result written to a temp file that replaces
// the INI by rename. Two processes writing different values therefore lose
// neither, and a failed write leaves the old file as it was. The file and any
// folders created for it are private to the user (0600 / 0700) because it
// can hold passwords.
//
// Any thread may call any operation.
class ProfileStore {
public:
    explicit ProfileStore(std::filesystem::path iniPath);
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    // $XDG_CONFIG_HOME/Tapewell/Tapewell.ini ($XDG_CONFIG_HOME: ~/.config).
    static std::filesystem::path DefaultPath();

    const std::filesystem::path& Path() const { return m_path; }

    // Reads the file again. A missing file is an empty profile; a file that
    // cannot be read fails and keeps the old snapshot. At most
    // limits::kMaxProfileFileBytes are read.
    ErrorOr<void> Reload();

    // Replaces the snapshot with a profile parsed from text, without touching
    // the file: for profiles held in memory (tests, fuzzing).
    void LoadText(std::string_view text);

    // A whole decimal number with an optional sign, from -2147483648 up to
    // 4294967295 (values above INT_MAX wrap as a 32-bit DWORD would); any
    // other text, or no value, gives defaultValue.
    int GetInt(std::string_view section, std::string_view name, int defaultValue) const;
    std::string GetString(std::string_view section, std::string_view name,
                          std::string_view defaultValue) const;

    // Each fails, the file then unchanged, with the strerror text of the
    // file operation that failed or the limit that refused the write.
    ErrorOr<void> WriteInt(std::string_view section, std::string_view name, int value);
    ErrorOr<void> WriteString(std::string_view section, std::string_view name,
                              std::string_view value);
    // Removes that section only; "a\b" is not part of "a".
    ErrorOr<void> DeleteSection(std::string_view section);

    // Applies every change that edit makes in one locked, atomic write.
    // Also refuses to rewrite a file larger than the read limit, whose tail
    // would be lost, and to write one that would exceed it.
    ErrorOr<void> Update(const std::function<void(ProfileEdit&)>& edit);

private:
    ErrorOr<void> WriteLocked(const std::function<void(ProfileEdit&)>& edit);
    void SetSnapshot(IniDocument doc);

    std::filesystem::path m_path;
    mutable std::mutex m_mutex;  // guards m_snapshot
    IniDocument m_snapshot;
};

}  // namespace tapewell
