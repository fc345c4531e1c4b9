// tapewell-cli mms-record against the test server, with settings from the
// store.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::test {
namespace {

const std::string kCli = TAPEWELL_CLI_PATH;

TEST(MmsCliTest, RecordsAStreamWithTheStoredSettings) {
    TempDir dir;
    ASSERT_TRUE(MakeAsf(dir / "clip.asf", AsfRecipe{}));
    TestServer server(dir.Path(), {"--only", "mms", "--live"});
    ASSERT_TRUE(server.Ready());
    // A live stream ends only by a limit: "size policy" from the store.
    std::filesystem::create_directories(dir / "config/Tapewell");
    WriteFileBytes(dir / "config/Tapewell/Tapewell.ini", [] {
        const std::string ini = "[settings]\nsize policy=1\nMax Size=1\n";
        return std::vector<uint8_t>(ini.begin(), ini.end());
    }());
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    const std::string url = "mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/clip.asf";
    const CommandResult r = test::Run({kCli, "mms-record", "--out", (dir / "x.asf").string(), url});
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("status " + url + " " + std::to_string(server.MmsPort()) + "\n", 0), 0u);
    EXPECT_NE(r.out.find("stream-start " + url + " 0\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nprogress "), std::string::npos);
    const auto size = std::filesystem::file_size(dir / "x.asf");
    EXPECT_GT(size, 1u << 20);
    EXPECT_LT(size, (1u << 20) + 64 * 1024);
    EXPECT_EQ(Probe(dir / "x.asf").Get("stream0.codec_name"), "wmv2");

    const CommandResult missing =
        test::Run({kCli, "mms-record", "--out", (dir / "y.asf").string(),
                   "mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/none.asf"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Url not found"), std::string::npos);
}

}  // namespace
}  // namespace tapewell::test
