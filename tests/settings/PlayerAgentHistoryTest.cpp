#include "settings/PlayerAgentHistory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

using Entries = std::vector<std::string>;

std::string Agent(int n) {
    return "NSPlayer/" + std::to_string(n) + ".0";
}

Entries Agents(int first, int count) {
    Entries entries;
    for (int i = 0; i < count; ++i) {
        entries.push_back(Agent(first + i));
    }
    return entries;
}

class PlayerAgentHistoryTest : public ::testing::Test {
protected:
    // The history as a later run reads it from the file.
    Entries Reloaded() const {
        ProfileStore fresh(m_dir / "Tapewell.ini");
        return PlayerAgentHistory::Load(fresh);
    }

    test::TempDir m_dir;
    ProfileStore m_profile{m_dir / "Tapewell.ini"};
};

TEST_F(PlayerAgentHistoryTest, LoadStopsAtTheFirstGapAndAfterFiftyEntries) {
    m_profile.LoadText(
        "[settings\\NSPlyer]\nplayer0=a\nplayer1=b\nplayer2=\nplayer3=d\n"
        "[settings\\NSPlyer2]\nplayer2=other section\n");
    EXPECT_EQ(PlayerAgentHistory::Load(m_profile), (Entries{"a", "b"}));

    m_profile.LoadText("[settings\\nsplyer]\nPLAYER0=a\nplayer2=c\n");
    EXPECT_EQ(PlayerAgentHistory::Load(m_profile), Entries{"a"});

    std::string text = "[settings\\NSPlyer]\n";
    for (int i = 0; i <= 50; ++i) {
        text += "player" + std::to_string(i) + "=" + Agent(i) + "\n";
    }
    m_profile.LoadText(text);
    EXPECT_EQ(PlayerAgentHistory::Load(m_profile), Agents(0, 50));
}

TEST_F(PlayerAgentHistoryTest, AFullHistoryDropsItsOldestEntryButNeverTheCurrentAgent) {
    // A new agent on a full history: the oldest goes, the new one is last.
    ASSERT_TRUE(PlayerAgentHistory::Save(m_profile, Agents(0, 50), "NSPlayer/new"));
    Entries expected = Agents(1, 49);
    expected.push_back("NSPlayer/new");
    EXPECT_EQ(Reloaded(), expected);
    EXPECT_EQ(m_profile.GetString(PlayerAgentHistory::kSection, "player50", ""), "");

    // The current agent is the oldest entry: the next one goes instead.
    ASSERT_TRUE(PlayerAgentHistory::Save(m_profile, Agents(0, 52), Agent(0)));
    expected = Agents(3, 49);
    expected.insert(expected.begin(), Agent(0));
    EXPECT_EQ(Reloaded(), expected);
}

TEST_F(PlayerAgentHistoryTest, SaveReplacesTheSectionWithEntriesThatReadBack) {
    ASSERT_TRUE(PlayerAgentHistory::Save(m_profile, Agents(0, 5), Agent(2)));
    ASSERT_EQ(Reloaded(), Agents(0, 5));

    // Empty entries would end the list early when it is read, and repeats
    // would fill it; a shorter list leaves no old entries behind.
    ASSERT_TRUE(PlayerAgentHistory::Save(m_profile, {"a", "", "b", "a"}, "c"));
    EXPECT_EQ(Reloaded(), (Entries{"a", "b", "c"}));
    EXPECT_EQ(m_profile.GetString(PlayerAgentHistory::kSection, "player3", ""), "");

    ASSERT_TRUE(PlayerAgentHistory::Save(m_profile, {"a"}, ""));
    EXPECT_EQ(Reloaded(), Entries{"a"});
}

}  // namespace
}  // namespace tapewell
