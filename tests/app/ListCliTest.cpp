#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/TestSupport.h"

namespace tapewell {
namespace {

const std::string kCli = TAPEWELL_CLI_PATH;

TEST(ListCli, MakeThenShowRoundTripsTheRows) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "clip.wmv", std::vector<uint8_t>(2048, 1));
    const std::string out = (dir / "l.ibh").string();
    test::CommandResult made = test::Run({kCli,
                                          "list",
                                          "make",
                                          out,
                                          "--title",
                                          "주간 목록",
                                          "--user",
                                          "kim",
                                          "--password",
                                          "pw",
                                          "--save-credentials",
                                          "--time",
                                          "0:04:05",
                                          "--size",
                                          "7M",
                                          "--info",
                                          "메모 note",
                                          "mms://h/live.asf=라디오 방송",
                                          (dir / "clip.wmv").string(),
                                          "http://h/play.php?id=7=",
                                          "mms://h/live.asf=again"});
    ASSERT_EQ(made.exitCode, 0) << made.err;

    test::CommandResult shown = test::Run({kCli, "list", "show", out});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(shown.out,
              "Title: 주간 목록\nCredentials: stored\nFile\tOriginal File\tTime\tSize\tInfo\tMark\n"
              "라디오 방송\tmms://h/live.asf\t0:04:05\t7M\t메모 note\t1\n"
              "clip\t" +
                  (dir / "clip.wmv").string() +
                  "\t\t2K\t\t0\n"
                  "play\thttp://h/play.php?id=7\t\t\t\t1\n");

    ASSERT_EQ(test::Run({kCli, "list", "make", out, "--mode", "file", "--user", "kim", "--password",
                         "pw", "mms://h/a.asf", (dir / "clip.wmv").string()})
                  .exitCode,
              0);
    shown = test::Run({kCli, "list", "show", out});
    EXPECT_NE(shown.out.find("Credentials: none\n"), std::string::npos);
    EXPECT_EQ(shown.out.find("mms://"), std::string::npos);

    EXPECT_EQ(test::Run({kCli, "list", "show", (dir / "clip.wmv").string()}).exitCode, 1);
    EXPECT_EQ(test::Run({kCli, "list", "make", out, "--mode", "some", "x"}).exitCode, 64);
    EXPECT_EQ(test::Run({kCli, "list", "make", out, "x", "--time", "1"}).exitCode, 64);
}

TEST(ListCli, ShowFailsOnACutFileAndMakeKeepsCredentialsPrivate) {
    test::TempDir dir;
    const std::string out = (dir / "l.ibh").string();
    const mode_t oldMask = ::umask(0);
    test::CommandResult made =
        test::Run({kCli, "list", "make", out, "--user", "u", "--password", "p",
                   "--save-credentials", "mms://h/1.asf", "mms://h/2.asf"});
    ::umask(oldMask);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    auto bytes = test::ReadFileBytes(out);
    bytes.resize(bytes.size() - 100);
    test::WriteFileBytes(out, bytes);
    const test::CommandResult shown = test::Run({kCli, "list", "show", out});
    EXPECT_EQ(shown.exitCode, 1);
    EXPECT_NE(shown.out.find("\tmms://h/1.asf\t"), std::string::npos) << shown.out;
    EXPECT_EQ(shown.out.find("2.asf"), std::string::npos);
    EXPECT_EQ(shown.err,
              "tapewell-cli list show: '" + out + "': list file is truncated: 1 of 2 rows\n");
}

TEST(ListCli, PlaylistSaysWhyAFileGaveNoAddress) {
    test::TempDir dir;
    const std::string binary = (dir / "b.asx").string();
    std::vector<uint8_t> bytes(5000, 'A');
    bytes[0] = '<';
    bytes[7] = 0;
    test::WriteFileBytes(binary, bytes);
    const std::string small = (dir / "s.asx").string();
    test::WriteFileBytes(small, {'<', 'A', 0x01, '>', 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'});
    for (const char* reader : {"--job", "--list"}) {
        SCOPED_TRACE(reader);
        const test::CommandResult r = test::Run({kCli, "playlist", reader, binary});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "tapewell-cli playlist: '" + binary +
                             "' is not a playlist: it holds binary data (byte 0x00 at offset 7)\n");
    }
    // Short enough to be taken whole as one address, but not text.
    test::CommandResult r = test::Run({kCli, "playlist", "--job", small});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("(byte 0x01 at offset 2)"), std::string::npos) << r.err;

    const std::string longText = (dir / "long.txt").string();
    test::WriteFileBytes(longText, std::vector<uint8_t>(5000, 'w'));
    r = test::Run({kCli, "playlist", "--list", longText});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tapewell-cli playlist: no addresses in '" + longText +
                         "': no Ref or EntryRef with an href, and the text is too long to be "
                         "taken as one address\n");
    const std::string empty = (dir / "e.asx").string();
    test::WriteFileBytes(empty, {'<', 'A', 'S', 'X', '>'});
    r = test::Run({kCli, "playlist", "--job", empty});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "tapewell-cli playlist: no addresses in '" + empty +
                         "': no Ref or EntryRef with an href\n");
    r = test::Run({kCli, "playlist", empty});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "Quillon\n");
    EXPECT_EQ(r.err, "tapewell-cli playlist: no addresses in '" + empty + "'\n");
}

TEST(ListCli, AsxIntoAFolderUsesTheCleanTitle) {
    test::TempDir dir;
    test::CommandResult r =
        test::Run({kCli, "asx", dir.Path().string(), "--title", "My:Show?1", "http://h/a?b=1&c=2"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (dir / "My_Show_1.asx").string() + "\n");
    EXPECT_EQ(test::Run({kCli, "asx", dir.Path().string(), "--title", "My:Show?1", "x"}).exitCode,
              1);
    EXPECT_EQ(
        test::Run({kCli, "asx", dir.Path().string(), "--title", "My:Show?1", "--overwrite", "x"})
            .exitCode,
        0);
}

}  // namespace
}  // namespace tapewell
