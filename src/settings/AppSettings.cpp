#include "settings/AppSettings.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "settings/FolderPath.h"
#include "settings/ProfileStore.h"
#include "settings/UserFolders.h"

namespace tapewell {

namespace {

constexpr std::string_view kSettingsSection = "settings";
constexpr std::string_view kFileTypeSection = "FileTypeList\\type";
// The count lives in the section's unnamed default value.
constexpr std::string_view kFileTypeCountName = "";
constexpr int kFileTypeCountWhenAbsent = 100;
constexpr std::array<std::string_view, 8> kDefaultFileTypes = {".wmv", ".asf", ".wma", ".ogg",
                                                               ".avi", ".mpa", ".mpg", ".mpeg"};

void ReadBool(const ProfileStore& store, std::string_view name, bool& field) {
    field = store.GetInt(kSettingsSection, name, field ? 1 : 0) != 0;
}

void ReadInt(const ProfileStore& store, std::string_view name, int& field) {
    field = store.GetInt(kSettingsSection, name, field);
}

void ReadText(const ProfileStore& store, std::string_view name, std::string& field) {
    field = store.GetString(kSettingsSection, name, field);
}

void WriteBool(ProfileEdit& edit, std::string_view name, bool value) {
    edit.WriteInt(kSettingsSection, name, value ? 1 : 0);
}

void WriteInt(ProfileEdit& edit, std::string_view name, int value) {
    edit.WriteInt(kSettingsSection, name, value);
}

void WriteText(ProfileEdit& edit, std::string_view name, const std::string& value) {
    edit.WriteString(kSettingsSection, name, value);
}

std::string FileTypeName(int index) {
    char name[16];
    std::snprintf(name, sizeof name, "type%d", index);
    return name;
}

}  // namespace

AppSettings::AppSettings() : m_baseDirectory((user_folders::Videos() / "Tapewell").string()) {}

void AppSettings::Load(const ProfileStore& store) {
    LoadValues(store);
    CreateFolderPath(m_baseDirectory);
}

void AppSettings::LoadValues(const ProfileStore& store) {
    ReadText(store, "base dir", m_baseDirectory);
    // A stored "c:\temp\"-style trailing separator would give "dir//file";
    // a lone "/" is the root itself and stays.
    if (m_baseDirectory.size() > 1 && m_baseDirectory.back() == '/') {
        m_baseDirectory.pop_back();
    }
    ReadText(store, "agent", m_agent);
    ReadBool(store, "OverWrite", m_overwriteConfirm);
    ReadBool(store, "Resumable", m_resumeConfirm);
    ReadBool(store, "Allow Multiple Instances", m_allowMultipleInstances);
    ReadBool(store, "Save Play List", m_savePlayList);
    ReadBool(store, "Save Full Pos", m_saveFullScreenPos);
    ReadBool(store, "Tool Tip", m_toolTips);
    ReadBool(store, "Live Content Save Time Info", m_liveSaveTimeInfo);
    ReadBool(store, "size policy", m_sizeLimitOn);
    ReadInt(store, "Max Size", m_maxSizeMiB);
    ReadBool(store, "time policy", m_timeLimitOn);
    ReadInt(store, "Max Time", m_maxTimeSeconds);
    ReadInt(store, "Reconnect Tries", m_reconnectTries);
    m_reconnectTries = std::clamp(m_reconnectTries, 0, kMaxReconnectTries);
    ReadInt(store, "Concurrent Recordings", m_concurrentRecordings);
    m_concurrentRecordings = std::clamp(m_concurrentRecordings, 1, kMaxConcurrentRecordings);
    ReadBool(store, "CaptureHTTP", m_captureHttp);
    ReadBool(store, "CaptureMMS", m_captureMms);
    ReadBool(store, "CaptureRTSP", m_captureRtsp);
    ReadText(store, "CaptureDriver", m_captureDriver);
    LoadFileTypes(store);
    ReadBool(store, "Repeat", m_repeat);
    ReadBool(store, "Sequence", m_sequence);
    ReadBool(store, "Keep Size", m_keepSize);
    ReadBool(store, "Keep", m_keep);
    ReadBool(store, "OnTop", m_onTop);
    ReadBool(store, "ScreenSave ", m_screenSave);  // the trailing blank is part of the name
    ReadBool(store, "Enable Caption", m_enableCaption);
    ReadBool(store, "Splite Caption Wnd", m_splitCaptionWnd);
    m_captionColor = static_cast<uint32_t>(
        store.GetInt(kSettingsSection, "Caption Corlor", static_cast<int>(m_captionColor)));
    ReadInt(store, "Caption Size", m_captionSize);
    ReadText(store, "Caption Style Name", m_captionStyleName);
    ReadText(store, "Caption Face Name", m_captionFaceName);
    ReadBool(store, "Caption Bold", m_captionBold);
    ReadInt(store, "Caption Margin", m_captionMargin);
    ReadBool(store, "Use Proxy", m_useProxy);
    ReadText(store, "Proxy SAerver", m_proxyServer);
    ReadInt(store, "Proxy Port", m_proxyPort);
    ReadBool(store, "Bypass Proxy", m_bypassProxy);
}

// The list ends at the stored count or at the first empty entry, whichever
// comes first; entries past the count are leftovers of a longer list. With
// no count stored, the first eight entries fall back to the defaults, which
// is how a first run gets its list.
void AppSettings::LoadFileTypes(const ProfileStore& store) {
    // Loading twice must not append the list to itself.
    m_fileTypes.clear();
    int count = store.GetInt(kFileTypeSection, kFileTypeCountName, kFileTypeCountWhenAbsent);
    for (int i = 0; i < count; ++i) {
        std::string_view fallback =
            i < static_cast<int>(kDefaultFileTypes.size()) ? kDefaultFileTypes[i] : "";
        std::string type = store.GetString(kFileTypeSection, FileTypeName(i), fallback);
        if (type.empty()) {
            break;
        }
        m_fileTypes.push_back(std::move(type));
    }
}

ErrorOr<void> AppSettings::Save(ProfileStore& store) const {
    return store.Update([this](ProfileEdit& edit) {
        WriteText(edit, "base dir", m_baseDirectory);
        WriteText(edit, "agent", m_agent);
        WriteBool(edit, "OverWrite", m_overwriteConfirm);
        WriteBool(edit, "Resumable", m_resumeConfirm);
        WriteBool(edit, "Allow Multiple Instances", m_allowMultipleInstances);
        WriteBool(edit, "Save Play List", m_savePlayList);
        WriteBool(edit, "Save Full Pos", m_saveFullScreenPos);
        WriteBool(edit, "Tool Tip", m_toolTips);
        WriteBool(edit, "Live Content Save Time Info", m_liveSaveTimeInfo);
        WriteBool(edit, "size policy", m_sizeLimitOn);
        WriteInt(edit, "Max Size", m_maxSizeMiB);
        WriteBool(edit, "time policy", m_timeLimitOn);
        WriteInt(edit, "Max Time", m_maxTimeSeconds);
        WriteInt(edit, "Reconnect Tries", m_reconnectTries);
        WriteInt(edit, "Concurrent Recordings", m_concurrentRecordings);
        WriteBool(edit, "CaptureHTTP", m_captureHttp);
        WriteBool(edit, "CaptureMMS", m_captureMms);
        WriteBool(edit, "CaptureRTSP", m_captureRtsp);
        WriteText(edit, "CaptureDriver", m_captureDriver);
        int count = static_cast<int>(m_fileTypes.size());
        edit.WriteInt(kFileTypeSection, kFileTypeCountName, count);
        for (int i = 0; i < count; ++i) {
            edit.WriteString(kFileTypeSection, FileTypeName(i), m_fileTypes[i]);
        }
        WriteBool(edit, "Repeat", m_repeat);
        WriteBool(edit, "Sequence", m_sequence);
        WriteBool(edit, "Keep Size", m_keepSize);
        WriteBool(edit, "Keep", m_keep);
        WriteBool(edit, "OnTop", m_onTop);
        WriteBool(edit, "ScreenSave ", m_screenSave);
        WriteBool(edit, "Enable Caption", m_enableCaption);
        WriteBool(edit, "Splite Caption Wnd", m_splitCaptionWnd);
        WriteInt(edit, "Caption Corlor", static_cast<int>(m_captionColor));
        WriteInt(edit, "Caption Size", m_captionSize);
        WriteText(edit, "Caption Style Name", m_captionStyleName);
        WriteText(edit, "Caption Face Name", m_captionFaceName);
        WriteBool(edit, "Caption Bold", m_captionBold);
        WriteInt(edit, "Caption Margin", m_captionMargin);
        WriteBool(edit, "Use Proxy", m_useProxy);
        WriteText(edit, "Proxy SAerver", m_proxyServer);
        WriteInt(edit, "Proxy Port", m_proxyPort);
        WriteBool(edit, "Bypass Proxy", m_bypassProxy);
    });
}

}  // namespace tapewell
