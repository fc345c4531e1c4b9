// Recording onto a disk that fills up, and into a folder that cannot be
// written: the job ends with an error text, keeps what it should and the
// process goes on recording elsewhere.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "TmpfsMount.h"
#include "asf/AsfObjects.h"
#include "asf/AsfResumeScan.h"
#include "recording/CmmsThread.h"
#include "recording/JobSink.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TestServer;

const std::string kCli = TAPEWELL_CLI_PATH;

// A 1.5 MB clip: larger than the 1 MiB disk it is recorded onto.
const fs::path& LargeClip() {
    static TempDir root;
    static const fs::path path = [] {
        test::AsfRecipe recipe;
        recipe.seconds = 6.0;
        recipe.videoBitrate = "2M";
        test::MakeAsf(root / "clip.asf", recipe);
        return root / "clip.asf";
    }();
    return path;
}

class FinishCounter final : public JobSink {
public:
    void OnJobNotice(int code, uint16_t) override {
        std::lock_guard lock(m_lock);
        m_finished += code == kFinished ? 1 : 0;
    }
    int Finished() {
        std::lock_guard lock(m_lock);
        return m_finished;
    }

private:
    std::mutex m_lock;
    int m_finished = 0;
};

struct JobEnd {
    bool error = false;
    std::string errorText;
    int finished = 0;
    fs::path output;
};

JobEnd RecordInto(const fs::path& base, const std::string& address) {
    AppSettings settings;
    settings.m_baseDirectory = base.string();
    FinishCounter sink;
    CmmsThread job(&sink, 1, settings, CmmsThread::Item{address, "rec", "", "", ""});
    job.SetIdleTimeoutMs(2000);
    EXPECT_TRUE(job.Start());
    job.Join();
    return {job.Error(), job.ErrorText(), sink.Finished(), job.OutputPath()};
}

std::string At(uint16_t port, const std::string& scheme) {
    return scheme + "://127.0.0.1:" + std::to_string(port) + "/clip.asf";
}

TEST(DiskFaults, FullDiskEndsTheJobWithAnErrorAndKeepsThePartialRecording) {
    TestServer server(LargeClip().parent_path());
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    const std::vector<uint8_t> other(64 * 1024, 0x5a);
    for (const char* scheme : {"mms", "http"}) {
        SCOPED_TRACE(scheme);
        const fs::path disk = dir / (std::string("disk-") + scheme);
        test::TmpfsMount mount(disk, "size=1m");
        if (!mount.Mounted()) {
            GTEST_SKIP() << mount.Reason();
        }
        test::WriteFileBytes(disk / "other.asf", other);

        const uint16_t port = std::string(scheme) == "mms" ? server.MmsPort() : server.HttpPort();
        const JobEnd end = RecordInto(disk, At(port, scheme));
        EXPECT_TRUE(end.error);
        EXPECT_EQ(end.errorText, "write error: No space left on device");
        EXPECT_EQ(end.finished, 1);
        // The file next to it is untouched, and the partial recording stays
        // as a resumable start of the clip.
        EXPECT_EQ(test::ReadFileBytes(disk / "other.asf"), other);
        ASSERT_TRUE(fs::exists(end.output)) << end.output;
        AsfResumeScan scan;
        EXPECT_TRUE(scan.ScanPartialFile(end.output));
        EXPECT_GT(scan.GetResumePacketCount(), 0u);
        const auto clip = test::ReadFileBytes(LargeClip());
        const auto partial = test::ReadFileBytes(end.output);
        // The packets are the clip's; the Data object's head counts them.
        const size_t packets = scan.GetHeaderSize() + asf::kDataObjectHeaderSize;
        ASSERT_LT(scan.GetResumeOffset(), partial.size() + 1);
        EXPECT_TRUE(std::equal(partial.begin() + packets, partial.begin() + scan.GetResumeOffset(),
                               clip.begin() + packets));
    }

    // The same process records the clip whole once there is room again.
    TempDir roomy;
    const JobEnd after = RecordInto(roomy.Path(), At(server.MmsPort(), "mms"));
    EXPECT_FALSE(after.error) << after.errorText;
    EXPECT_EQ(test::Probe(after.output).Get("format.nb_streams"), "2");
}

TEST(DiskFaults, UnwritableBaseFolderCreatesNothing) {
    TestServer server(LargeClip().parent_path());
    ASSERT_TRUE(server.Ready());
    TempDir dir;
    test::WriteFileBytes(dir / "a-file", {1, 2, 3});
    std::vector<fs::path> bases = {dir / "a-file" / "sub"};
    test::TmpfsMount readOnly(dir / "read-only", "size=1m", MS_RDONLY);
    if (readOnly.Mounted()) {
        bases.push_back(dir / "read-only");
    }
    for (const fs::path& base : bases) {
        SCOPED_TRACE(base);
        const JobEnd end = RecordInto(base, At(server.MmsPort(), "mms"));
        EXPECT_TRUE(end.error);
        // The file the job tried last (rec.asf, or the name it renamed to).
        EXPECT_EQ(end.errorText.rfind("File Creation Error: " + (base / "rec").string(), 0), 0u)
            << end.errorText;
        EXPECT_EQ(end.finished, 1);
        EXPECT_FALSE(fs::exists(base / "rec.asf"));

        const test::CommandResult cli = test::Run(
            {kCli, "record", "--quiet", "--dir", base.string(), At(server.HttpPort(), "http")});
        EXPECT_EQ(cli.exitCode, 1) << cli.out << cli.err;
        EXPECT_FALSE(cli.err.empty());
    }
    EXPECT_EQ(test::ReadFileBytes(dir / "a-file"), (std::vector<uint8_t>{1, 2, 3}));
    if (!readOnly.Mounted()) {
        GTEST_SKIP() << "read-only folder not tried: " << readOnly.Reason();
    }
}

}  // namespace
}  // namespace tapewell
