#include "app/RecentUrls.h"

#include <algorithm>
#include <filesystem>

#include "common/Limits.h"
#include "common/TextFormat.h"
#include "settings/ProfileStore.h"

namespace tapewell {
namespace {

bool WorthKeeping(const std::string& entry) {
    for (const char* scheme : {"http:", "mms:", "mmst:", "mmsu:"}) {
        if (entry.find(scheme) != std::string::npos) {
            return true;
        }
    }
    std::error_code error;
    return std::filesystem::exists(entry, error);
}

std::string EntryName(size_t index) {
    return FormatText("File%zu", index);
}

}  // namespace

void RecentUrls::Add(const std::string& address) {
    std::erase(m_entries, address);
    m_entries.insert(m_entries.begin(), address);
    if (m_entries.size() > limits::kRecentUrlsKept) {
        m_entries.resize(limits::kRecentUrlsKept);
    }
}

void RecentUrls::Load(const ProfileStore& profile) {
    m_entries.clear();
    for (size_t i = 0; i < limits::kRecentUrlsKept; ++i) {
        std::string entry = profile.GetString(kSection, EntryName(i), "");
        if (entry.empty()) {
            break;
        }
        if (WorthKeeping(entry) &&
            std::find(m_entries.begin(), m_entries.end(), entry) == m_entries.end()) {
            m_entries.push_back(std::move(entry));
        }
    }
}

ErrorOr<void> RecentUrls::Save(ProfileStore& profile) const {
    return profile.Update([this](ProfileEdit& edit) {
        edit.DeleteSection(kSection);
        for (size_t i = 0; i < m_entries.size() && i < limits::kRecentUrlsKept; ++i) {
            edit.WriteString(kSection, EntryName(i), m_entries[i]);
        }
    });
}

}  // namespace tapewell
