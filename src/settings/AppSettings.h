#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/ErrorOr.h"

namespace tapewell {

class ProfileStore;

// A field that belongs to the object holding it rather than to its value: a
// copy starts from kDefault, and assigning the holder leaves the field as it
// was. Lets the holder's copy operations stay the compiler's, so a new field
// cannot be left out of them.
template <typename T, T kDefault>
class NotCopied {
public:
    NotCopied() = default;
    NotCopied(const NotCopied&) {}
    NotCopied& operator=(const NotCopied&) { return *this; }
    NotCopied& operator=(T value) {
        m_value = value;
        return *this;
    }
    operator T() const { return m_value; }

private:
    T m_value = kDefault;
};

// Every user preference in one record. The main window owns one; each
// recording job and each of its engines take their own copy at construction,
// so a running job never sees later changes. Texts are UTF-8.
//
// Stored in the profile section "settings", except the file type list, which
// has its own section "FileTypeList\type". The player agent, the credentials
// and the two reserved fields are never stored.
class AppSettings {
public:
    static constexpr int kMaxReconnectTries = 1000;
    static constexpr int kMaxConcurrentRecordings = 8;

    AppSettings();
    // Copies every field except m_reserved24; the file type list is replaced.
    AppSettings(const AppSettings& other) = default;
    AppSettings& operator=(const AppSettings& other) = default;

    // Reads every stored value, keeping a field's current value when its
    // value is missing, then creates the base folder level by level (a
    // folder that cannot be created only shows when a recording opens its
    // file).
    void Load(const ProfileStore& store);
    // Load without creating the base folder.
    void LoadValues(const ProfileStore& store);
    // Writes every stored value in one atomic write.
    ErrorOr<void> Save(ProfileStore& store) const;

    std::string m_baseDirectory;  // receives recordings; default <videos>/Tapewell
    std::string m_agent = "rec/1.5";
    bool m_overwriteConfirm = true;
    bool m_resumeConfirm = true;
    bool m_allowMultipleInstances = false;
    bool m_savePlayList = false;
    bool m_liveSaveTimeInfo = true;  // rebase and fix up times of live MMS recordings
    bool m_saveFullScreenPos = false;
    bool m_toolTips = true;
    bool m_timeLimitOn = false;
    bool m_sizeLimitOn = false;
    int m_maxTimeSeconds = 1800;
    int m_maxSizeMiB = 10;
    // A live recording that breaks off is reconnected into the same file
    // this many times (0: it ends at the first break).
    int m_reconnectTries = 10;
    // How many rows the record list records at once (1 to 8).
    int m_concurrentRecordings = 1;
    // Sent in the MMS connect message; every run starts with this default.
    std::string m_playerAgent = "NSPlayer/9.0.0.2980; {3300AD50-2C39-46c0-AE0A-59FCD8CF430E}";
    bool m_captureHttp = true;
    bool m_captureMms = true;
    bool m_captureRtsp = true;
    std::string m_captureDriver;
    std::vector<std::string> m_fileTypes;  // extensions with their dot, e.g. ".wmv"
    bool m_repeat = true;
    bool m_sequence = true;
    bool m_keepSize = false;
    bool m_keep = false;
    NotCopied<bool, true> m_reserved24;  // neither stored nor copied
    bool m_onTop = false;
    bool m_screenSave = true;
    bool m_enableCaption = true;
    bool m_splitCaptionWnd = false;
    uint32_t m_captionColor = 0xFFFFFF;  // COLORREF, 0x00BBGGRR
    int m_captionSize = 12;
    std::string m_captionStyleName = "보통";  // "normal"
    std::string m_captionFaceName = "굴림";   // the Gulim font
    bool m_captionBold = true;
    int m_captionMargin = 50;
    int m_reserved35 = 0;  // copied, never stored
    // Credentials for this run only, never stored.
    std::string m_userName;
    std::string m_password;
    bool m_useProxy = false;
    std::string m_proxyServer;
    int m_proxyPort = 0;
    bool m_bypassProxy = false;

private:
    void LoadFileTypes(const ProfileStore& store);
};

}  // namespace tapewell
