#include "recording/EngineSettings.h"

#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell {
namespace {

std::string SiteSection(const std::string& site) {
    return "NetPassword\\" + site;
}

}  // namespace

EngineOptions ToEngineOptions(const AppSettings& settings) {
    EngineOptions options;
    options.playerAgent = settings.m_playerAgent;
    options.useProxy = settings.m_useProxy;
    options.proxyServer = settings.m_proxyServer;
    options.proxyPort = settings.m_proxyPort;
    options.bypassProxy = settings.m_bypassProxy;
    options.timeLimitOn = settings.m_timeLimitOn;
    options.maxTimeSeconds = settings.m_maxTimeSeconds;
    options.sizeLimitOn = settings.m_sizeLimitOn;
    options.maxSizeMiB = settings.m_maxSizeMiB;
    options.liveSaveTimeInfo = settings.m_liveSaveTimeInfo;
    return options;
}

std::optional<CredentialStore::Pair> ProfileCredentials::Load(const std::string& site) const {
    if (m_profile == nullptr) {
        return std::nullopt;
    }
    Pair pair{m_profile->GetString(SiteSection(site), "User", ""),
              m_profile->GetString(SiteSection(site), "Password", "")};
    if (pair.user.empty() || pair.password.empty()) {
        return std::nullopt;
    }
    return pair;
}

void ProfileCredentials::Save(const std::string& site, const Pair& pair) {
    if (m_profile == nullptr) {
        return;
    }
    // Remembering them is a convenience the recording does not wait on.
    (void)m_profile->WriteString(SiteSection(site), "User", pair.user);
    (void)m_profile->WriteString(SiteSection(site), "Password", pair.password);
}

}  // namespace tapewell
