#include <gtest/gtest.h>

#include <filesystem>

#include "app/IbhFile.h"
#include "app/ListFiles.h"
#include "app/LoginCheck.h"
#include "app/RecordList.h"
#include "app/SchedulerBench.h"
#include "engine/JobPrompt.h"
#include "settings/ProfileStore.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

class ScriptedCredentials final : public JobPrompt {
public:
    std::vector<Credentials> answers;  // given in order; then Cancel
    std::vector<std::string> sites;
    std::optional<Credentials> AskCredentials(const std::string& site, const std::string&,
                                              const std::string&) override {
        sites.push_back(site);
        if (sites.size() > answers.size()) {
            return std::nullopt;
        }
        return answers[sites.size() - 1];
    }
};

size_t Requests(const test::TestServer& server) {
    const std::string log = server.Log();
    size_t count = 0;
    for (size_t at = log.find(" GET "); at != std::string::npos; at = log.find(" GET ", at + 1)) {
        ++count;
    }
    return count;
}

class LoginCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::WriteFileBytes(m_root / "page.txt", {'h', 'i'});
        ASSERT_TRUE(m_server.Ready());
        m_url = "mms://127.0.0.1:" + std::to_string(m_server.HttpPort()) + "/page.txt";
    }

    test::TempDir m_root;
    test::TempDir m_home;
    test::TestServer m_server{m_root.Path(), {"--only", "http", "--auth", "u:p"}};
    std::string m_url;
};

TEST_F(LoginCheckTest, AsksUntilTheServerAcceptsAndKeepsWhatWorked) {
    ScriptedCredentials prompt;
    ProfileStore profile(m_home / "p.ini");
    LoginCheck check(&prompt, &profile);

    EXPECT_EQ(check.Run(m_url, "u", "p").status, 200);
    EXPECT_TRUE(prompt.sites.empty());

    prompt.answers = {{"u", "wrong", false}, {"u", "p", true}};
    LoginCheck::Result result = check.Run(m_url, "x", "y");
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(prompt.sites, (std::vector<std::string>{"127.0.0.1", "127.0.0.1"}));
    EXPECT_TRUE(result.credentialsChanged);
    EXPECT_EQ(result.userName, "u");
    EXPECT_EQ(result.password, "p");
    EXPECT_EQ(profile.GetString("NetPassword\\127.0.0.1", "Password", ""), "p");

    // Now the stored credentials answer the 401 without a question.
    prompt.sites.clear();
    EXPECT_EQ(check.Run(m_url, "x", "y").status, 200);
    EXPECT_TRUE(prompt.sites.empty());

    LoginCheck cancelling(&prompt, nullptr);
    prompt.answers.clear();
    result = cancelling.Run(m_url, "x", "y");
    EXPECT_EQ(result.status, 401);
    EXPECT_FALSE(result.credentialsChanged);
    EXPECT_FALSE(check.Run("not a url", "u", "p").contacted);
    // Nothing listens: the server was tried, and gave no status.
    result = check.Run(test::At(test::ClosedPort(), "/x"), "u", "p");
    EXPECT_TRUE(result.contacted);
    EXPECT_EQ(result.status, 0);
}

TEST_F(LoginCheckTest, LoadingRunsItOnlyWithBothCredentials) {
    IbhList file;
    file.records.push_back({"local", "/v/a.asf", "", "", ""});
    file.records.push_back({"net", m_url, "", "", ""});
    ASSERT_TRUE(IbhFile::Save(m_home / "empty.ibh", file));
    file.userName = "x";
    file.password = "y";
    ASSERT_TRUE(IbhFile::Save(m_home / "creds.ibh", file));

    ScriptedCredentials prompt;
    prompt.answers = {{"u", "p", false}};
    LoginCheck check(&prompt, nullptr);
    RecordList list;
    EXPECT_FALSE(LoadListFile(list, m_home / "empty.ibh", &check).value().login);
    EXPECT_EQ(Requests(m_server), 0u);

    ListLoadResult result = LoadListFile(list, m_home / "creds.ibh", &check).value();
    ASSERT_TRUE(result.login);
    EXPECT_EQ(result.login->status, 200);
    EXPECT_EQ(list.UserName(), "u");
    EXPECT_EQ(list.Password(), "p");
    EXPECT_EQ(list.RowCount(), 4);
}

}  // namespace
}  // namespace tapewell
