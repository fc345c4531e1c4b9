// The engines' view of the settings store: options and saved credentials.
#include <gtest/gtest.h>

#include "recording/EngineSettings.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

// The engine tests run on EngineOptions(), the program on the settings: a
// default that drifts apart in one of them would go unseen by both.
TEST(EngineSettings, DefaultsAreTheSettingsDefaults) {
    const EngineOptions fromSettings = ToEngineOptions(AppSettings());
    const EngineOptions defaults;
    EXPECT_EQ(fromSettings.playerAgent, defaults.playerAgent);
    EXPECT_EQ(fromSettings.useProxy, defaults.useProxy);
    EXPECT_EQ(fromSettings.proxyServer, defaults.proxyServer);
    EXPECT_EQ(fromSettings.proxyPort, defaults.proxyPort);
    EXPECT_EQ(fromSettings.bypassProxy, defaults.bypassProxy);
    EXPECT_EQ(fromSettings.timeLimitOn, defaults.timeLimitOn);
    EXPECT_EQ(fromSettings.maxTimeSeconds, defaults.maxTimeSeconds);
    EXPECT_EQ(fromSettings.sizeLimitOn, defaults.sizeLimitOn);
    EXPECT_EQ(fromSettings.maxSizeMiB, defaults.maxSizeMiB);
    EXPECT_EQ(fromSettings.liveSaveTimeInfo, defaults.liveSaveTimeInfo);
}

// A pair is only a pair with both halves; a saved one survives a new
// profile object reading the file; no profile stores nothing.
TEST(EngineSettings, ProfileCredentialsPerSite) {
    test::TempDir dir;
    ProfileStore profile(dir / "t.ini");
    ASSERT_TRUE(profile.WriteString("NetPassword\\half.example", "User", "u"));
    ProfileCredentials credentials(&profile);
    EXPECT_FALSE(credentials.Load("half.example"));
    EXPECT_FALSE(credentials.Load("unknown.example"));

    credentials.Save("host.example:8080", {"user", "pass word"});
    ProfileStore reread(dir / "t.ini");
    const std::optional<CredentialStore::Pair> pair =
        ProfileCredentials(&reread).Load("host.example:8080");
    ASSERT_TRUE(pair);
    EXPECT_EQ(pair->user, "user");
    EXPECT_EQ(pair->password, "pass word");
    EXPECT_FALSE(ProfileCredentials(&reread).Load("host.example"));

    ProfileCredentials none(nullptr);
    none.Save("host.example", {"u", "p"});
    EXPECT_FALSE(none.Load("host.example"));
}

}  // namespace
}  // namespace tapewell
