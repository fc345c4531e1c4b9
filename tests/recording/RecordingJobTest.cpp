// CmmsThread against tapewell-testserver on loopback: every address form,
// the engine order and its fall-back, the existing-file rules and the
// notices. Every recorded file is read back by ffprobe.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "RecordingClip.h"
#include "recording/CmmsThread.h"
#include "recording/JobSink.h"
#include "support/TestServer.h"

namespace tapewell {
namespace {

using test::RecordingClip;
constexpr int kIdleMs = 2000;  // a peer that says nothing (MMS spoken to an HTTP port)
using test::TempDir;
using test::TestServer;
namespace fs = std::filesystem;

// A notice with the values the job held when it came.
struct Notice {
    int code = 0;
    uint16_t job = 0;
    fs::path path;
    uint32_t duration = 0;
    uint32_t bytes = 0;
    std::string found;
};

class RecordingSink final : public JobSink {
public:
    CmmsThread* job = nullptr;
    std::vector<Notice> notices;

    void OnJobNotice(int code, uint16_t number) override {
        std::lock_guard lock(m_lock);
        notices.push_back({code, number, job->OutputPath(), job->DurationMs(), job->BytesWritten(),
                           job->FoundAddress()});
    }
    int Count(int code) const {
        return static_cast<int>(std::count_if(notices.begin(), notices.end(),
                                              [code](const Notice& n) { return n.code == code; }));
    }

private:
    std::mutex m_lock;
};

struct ScriptedPrompt final : JobPrompt {
    ExistsChoice exists;
    std::optional<fs::path> saveAs;
    bool resume = true;
    int asked = 0;
    std::optional<Credentials> AskCredentials(const std::string&, const std::string&,
                                              const std::string&) override {
        ++asked;
        return std::nullopt;
    }
    bool AskResume(const fs::path&) override {
        ++asked;
        return resume;
    }
    ExistsChoice AskFileExists(const fs::path&) override {
        ++asked;
        return exists;
    }
    std::optional<fs::path> AskSaveAsPath(const fs::path&) override { return saveAs; }
};

class RecordingJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_settings.m_baseDirectory = m_base.Path().string();
        CmmsThread::PassAll().store(false);
    }
    void TearDown() override { CmmsThread::PassAll().store(false); }

    // Runs one job on its own thread to the end.
    std::unique_ptr<CmmsThread> Record(const std::string& address, const std::string& name,
                                       JobPrompt* prompt = nullptr) {
        auto job = std::make_unique<CmmsThread>(
            &m_sink, 7, m_settings, CmmsThread::Item{address, name, "", "", ""}, prompt);
        m_sink.job = job.get();
        job->SetIdleTimeoutMs(kIdleMs);
        EXPECT_TRUE(job->Start());
        job->Join();
        return job;
    }
    fs::path Base(const std::string& name) const { return m_base / name; }

    const RecordingClip& m_clip = RecordingClip::Get();
    TempDir m_base;
    AppSettings m_settings;
    RecordingSink m_sink;
};

std::string At(uint16_t port, const std::string& path, const std::string& scheme = "http") {
    return scheme + "://127.0.0.1:" + std::to_string(port) + path;
}

void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string Asx(const std::vector<std::string>& refs) {
    std::string text = "<ASX version=\"3.0\">\n";
    for (const std::string& ref : refs) {
        text += "  <Entry><Ref href=\"" + ref + "\"/></Entry>\n";
    }
    return text + "</ASX>\n";
}

TEST_F(RecordingJobTest, EveryAddressFormEndsInAValidFile) {
    TempDir served;
    fs::copy_file(m_clip.path, served / "clip.asf");
    fs::copy_file(m_clip.path, served / "dl.asf");
    ASSERT_EQ(test::Run({"gzip", "-f", (served / "dl.asf").string()}).exitCode, 0);
    TestServer server(served.Path());
    ASSERT_TRUE(server.Ready());
    const uint16_t http = server.HttpPort();
    const std::string clip = At(http, "/clip.asf");
    WriteText(served / "show.asx", Asx({clip, clip, clip}));
    TempDir local;
    WriteText(local / "one.asx", Asx({clip}));
    WriteText(local / "fake.asf",
              "<ASX version=\"3.0\"><Entry><Ref href=\"" + clip + "\"/></Entry></ASX>\n");

    struct Case {
        std::string address, name;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {At(server.MmsPort(), "/clip.asf", "mms"), "Mms", {"Mms.asf"}},
        {At(server.MmsPort(), "/clip.asf", "mmst"), "Mmst", {"Mmst.asf"}},
        {clip, "Http", {"Http.asf"}},
        {At(http, "/dl.asf.gz"), "", {"dl.asf.gz"}},
        {At(http, "/show.asx"), "Show", {"Show0.asf", "Show1.asf", "Show2.asf"}},
        {(local / "one.asx").string(), "Local", {"Local.asf"}},
        {(local / "fake.asf").string(), "Fake", {"Fake.asf"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        std::unique_ptr<CmmsThread> job = Record(c.address, c.name);
        EXPECT_FALSE(job->Error()) << job->ErrorText();
        for (const std::string& file : c.files) {
            ASSERT_TRUE(fs::exists(Base(file))) << file;
            test::ExpectLikeClip(Base(file));
        }
    }
    EXPECT_TRUE(fs::exists(Base("show.asx")));  // a remote playlist is kept where it was read

    // A web page that names a stream: the address is handed to the owner.
    const std::string mms = At(server.MmsPort(), "/clip.asf", "mms");
    WriteText(served / "page.html", "<html><a href=\"" + mms + "\">watch</a></html>\n");
    m_sink.notices.clear();
    std::unique_ptr<CmmsThread> page = Record(At(http, "/page.html"), "");
    ASSERT_EQ(m_sink.Count(JobSink::kUrlFound), 1);
    EXPECT_EQ(page->FoundAddress(), mms);
    EXPECT_FALSE(fs::exists(Base("page.html")));  // nothing was written into it
}

TEST_F(RecordingJobTest, NoticesComeInOrderWithTheirValuesWritten) {
    TestServer server(m_clip.Root());
    ASSERT_TRUE(server.Ready());
    std::unique_ptr<CmmsThread> job = Record(At(server.MmsPort(), "/clip.asf", "mms"), "N");
    const std::vector<Notice>& seen = m_sink.notices;
    ASSERT_GE(seen.size(), 4u);
    EXPECT_EQ(seen.front().code, JobSink::kConnecting);  // MmsClient goes first for mms://
    EXPECT_EQ(seen[1].code, JobSink::kHeader);
    EXPECT_EQ(seen[1].path, Base("N.asf"));
    EXPECT_NEAR(seen[1].duration, 4000u, 600u);
    EXPECT_EQ(seen.back().code, JobSink::kFinished);
    EXPECT_EQ(m_sink.Count(JobSink::kFinished), 1);
    uint32_t bytes = 0;
    for (const Notice& n : seen) {
        EXPECT_EQ(n.job, 7);
        if (n.code == JobSink::kProgress) {
            EXPECT_GT(n.bytes, bytes);
            bytes = n.bytes;
        }
    }
    EXPECT_GE(bytes, fs::file_size(Base("N.asf")) - 3200);

    // Without an owner nothing is told, but the error is kept.
    CmmsThread orphan(nullptr, 0, m_settings, {At(1, "/clip.asf", "mms"), "O", "", "", ""});
    orphan.Run();
    EXPECT_TRUE(orphan.Error());
    EXPECT_FALSE(orphan.ErrorText().empty());
    EXPECT_FALSE(fs::exists(Base("O.asf")));
}

TEST_F(RecordingJobTest, EngineOrderAndFallBack) {
    TestServer server(m_clip.Root());
    ASSERT_TRUE(server.Ready());
    // mms:// to a port that speaks only HTTP streaming: CHttpRecorder takes over.
    std::unique_ptr<CmmsThread> job = Record(At(server.HttpPort(), "/clip.asf", "mms"), "Fb");
    EXPECT_FALSE(job->Error()) << job->ErrorText();
    test::ExpectLikeClip(Base("Fb.asf"));
    EXPECT_EQ(m_sink.notices.front().code, JobSink::kConnecting);

    // mmsu:// ... .asf starts with CHttpRecorder, which tells no "connecting".
    m_sink.notices.clear();
    job = Record(At(server.HttpPort(), "/clip.asf", "mmsu"), "U");
    EXPECT_FALSE(job->Error()) << job->ErrorText();
    EXPECT_EQ(m_sink.notices.front().code, JobSink::kHeader);
    EXPECT_EQ(m_sink.Count(JobSink::kConnecting), 0);
    test::ExpectLikeClip(Base("U.asf"));

    // A cancelled credentials question gives up: no web fetcher after it.
    TestServer locked(m_clip.Root(), {"--auth", "u:p"});
    ASSERT_TRUE(locked.Ready());
    ScriptedPrompt prompt;
    m_sink.notices.clear();
    job = Record(At(locked.HttpPort(), "/clip.asf"), "A", &prompt);
    EXPECT_TRUE(job->GaveUp());
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(m_sink.Count(JobSink::kConnecting), 0);
}

TEST_F(RecordingJobTest, ExistingFiles) {
    TestServer server(m_clip.Root());
    ASSERT_TRUE(server.Ready());
    const std::string address = At(server.MmsPort(), "/clip.asf", "mms");
    Record(address, "Full");
    const std::vector<uint8_t> full = test::ReadFileBytes(Base("Full.asf"));
    ASSERT_GT(full.size(), 262'144u);

    // Resume: an interrupted copy (header still announcing the whole count,
    // a torn packet at the end) is completed to the same bytes.
    const test::HeaderCheck header = test::CheckHeader(full);
    const size_t cut = full.size() - 40 * header.packetSize - 1000;
    test::WriteFileBytes(Base("Part.asf"),
                         {full.begin(), full.begin() + static_cast<ptrdiff_t>(cut)});
    ScriptedPrompt prompt;
    Record(address, "Part", &prompt);
    EXPECT_EQ(prompt.asked, 1);
    EXPECT_EQ(test::ReadFileBytes(Base("Part.asf")), full);

    // The file-exists question, for a file that cannot be resumed.
    const std::vector<uint8_t> junk = {'j', 'u', 'n', 'k'};
    auto answer = [&](JobPrompt::ExistsAnswer a, bool all = false) {
        test::WriteFileBytes(Base("X.asf"), junk);
        prompt.exists = {a, all};
        m_sink.notices.clear();
        return Record(address, "X", &prompt);
    };
    EXPECT_FALSE(answer(JobPrompt::ExistsAnswer::Ok)->Stopped());
    test::ExpectLikeClip(Base("X.asf"));
    EXPECT_TRUE(answer(JobPrompt::ExistsAnswer::Cancel)->Stopped());
    EXPECT_EQ(test::ReadFileBytes(Base("X.asf")), junk);
    prompt.saveAs = Base("Other.asf");
    EXPECT_FALSE(answer(JobPrompt::ExistsAnswer::SaveAs)->Stopped());
    test::ExpectLikeClip(Base("Other.asf"));
    EXPECT_EQ(test::ReadFileBytes(Base("X.asf")), junk);
    prompt.saveAs.reset();
    EXPECT_TRUE(answer(JobPrompt::ExistsAnswer::SaveAs)->Stopped());  // Save As cancelled
    EXPECT_TRUE(answer(JobPrompt::ExistsAnswer::Quit)->Stopped());
    EXPECT_EQ(m_sink.Count(JobSink::kQuitAll), 1);
    EXPECT_TRUE(answer(JobPrompt::ExistsAnswer::Pass)->Stopped());
    EXPECT_FALSE(CmmsThread::PassAll().load());
    EXPECT_TRUE(answer(JobPrompt::ExistsAnswer::Pass, true)->Stopped());
    EXPECT_EQ(m_sink.Count(JobSink::kSkipped), 1);
    EXPECT_EQ(m_sink.notices.front().path, Base("X.asf"));
    // "Pass" with "All": a later job skips at once, unasked.
    const int askedBefore = prompt.asked;
    EXPECT_TRUE(answer(JobPrompt::ExistsAnswer::Ok)->Stopped());
    EXPECT_EQ(prompt.asked, askedBefore);
    EXPECT_EQ(m_sink.Count(JobSink::kSkipped), 1);
    EXPECT_EQ(test::ReadFileBytes(Base("X.asf")), junk);
    CmmsThread::PassAll().store(false);

    // Without the confirmation: x(0).asf, x(1).asf ... and never over x(99).asf.
    m_settings.m_overwriteConfirm = false;
    Record(address, "X");
    test::ExpectLikeClip(Base("X(0).asf"));
    for (int n = 1; n < 100; ++n) {
        test::WriteFileBytes(Base("X(" + std::to_string(n) + ").asf"), junk);
    }
    std::unique_ptr<CmmsThread> job = Record(address, "X");
    EXPECT_EQ(job->ErrorText(), "File Creation Error: " + Base("X.asf").string() + ": File exists");
    EXPECT_EQ(test::ReadFileBytes(Base("X(99).asf")), junk);
}

// A short download of a media type that turns out to be a page of text is
// an error page served in place of the media: deleted, and the job fails.
// Media is kept however short: an ASF recording with a whole packet, or a
// binary file of another media type.
TEST_F(RecordingJobTest, TooSmallRuleDeletesErrorPagesOnly) {
    TempDir served;
    test::AsfRecipe small;
    small.seconds = 1.0;
    small.videoBitrate = "100k";
    ASSERT_TRUE(test::MakeAsf(served / "tiny.asf", small));
    const std::string page = "<html><body>Not found</body></html>\n";
    test::WriteFileBytes(served / "page.mp3", {page.begin(), page.end()});
    std::vector<uint8_t> sound = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0};
    sound.resize(4096, 0xFB);
    test::WriteFileBytes(served / "sound.mp3", sound);
    TestServer server(served.Path());
    ASSERT_TRUE(server.Ready());
    std::unique_ptr<CmmsThread> job = Record(At(server.HttpPort(), "/tiny.asf"), "T");
    EXPECT_FALSE(job->Error()) << job->ErrorText();
    EXPECT_EQ(test::Probe(Base("T.asf")).Get("format.format_name"), "asf");
    job = Record(At(server.HttpPort(), "/page.mp3"), "P");
    EXPECT_TRUE(job->Error());
    EXPECT_FALSE(fs::exists(Base("P.mp3")));
    job = Record(At(server.HttpPort(), "/sound.mp3"), "S");
    EXPECT_FALSE(job->Error()) << job->ErrorText();
    EXPECT_EQ(test::ReadFileBytes(Base("S.mp3")), sound);

    // Named outside the base folder: the file still lands inside it.
    TestServer full(m_clip.Root());
    ASSERT_TRUE(full.Ready());
    job = Record(At(full.HttpPort(), "/clip.asf"), "../../esc/ape");
    EXPECT_FALSE(job->Error()) << job->ErrorText();
    EXPECT_EQ(job->OutputPath().parent_path(), m_base.Path());
    test::ExpectLikeClip(job->OutputPath());
}

TEST_F(RecordingJobTest, ProbeUrl) {
    TestServer server(m_clip.Root());
    ASSERT_TRUE(server.Ready());
    CmmsThread check(nullptr, 0, m_settings, {});
    check.SetIdleTimeoutMs(kIdleMs);
    EXPECT_TRUE(check.ProbeUrl(At(server.MmsPort(), "/clip.asf", "mms"), "", ""));
    EXPECT_TRUE(check.ProbeUrl(At(server.HttpPort(), "/clip.asf"), "", ""));
    // A stop given before a check starts is not lost: the check gives up at
    // once, on every engine; the next check after ClearStop runs normally.
    check.Stop();
    EXPECT_FALSE(check.ProbeUrl(At(server.MmsPort(), "/clip.asf", "mms"), "", ""));
    EXPECT_FALSE(check.ProbeUrl(At(server.HttpPort(), "/clip.asf"), "", ""));
    check.ClearStop();
    EXPECT_TRUE(check.ProbeUrl(At(server.HttpPort(), "/clip.asf"), "", ""));
    EXPECT_FALSE(check.ProbeUrl(At(server.HttpPort(), "/missing.asf"), "", ""));
    // The reason of the engine the address chose first (HTTP streaming), not
    // the web fetcher's that came after it; MMS is not tried on that port.
    EXPECT_EQ(check.ErrorText(), "reply: 404 - Not Found");
    EXPECT_TRUE(fs::is_empty(m_base.Path()));
}

// "Cancel" to continuing a partial recording is no answer about the file:
// the existing-file question comes next, and only its answer may write.
TEST_F(RecordingJobTest, CancelledResumeGoesOnToTheExistingFileQuestion) {
    TestServer server(m_clip.Root());
    ASSERT_TRUE(server.Ready());
    const std::string address = At(server.MmsPort(), "/clip.asf", "mms");
    Record(address, "Full");
    const std::vector<uint8_t> full = test::ReadFileBytes(Base("Full.asf"));
    // Broken off in the middle of a packet: a file that can be continued.
    const std::vector<uint8_t> partial(full.begin(),
                                       full.begin() + static_cast<ptrdiff_t>(full.size() / 2));
    const std::pair<JobPrompt::ExistsAnswer, const char*> answers[] = {
        {JobPrompt::ExistsAnswer::Pass, "pass"},
        {JobPrompt::ExistsAnswer::Cancel, "cancel"},
        {JobPrompt::ExistsAnswer::Ok, "overwrite"},
    };
    for (const auto& [answer, text] : answers) {
        SCOPED_TRACE(text);
        test::WriteFileBytes(Base("Part.asf"), partial);
        ScriptedPrompt prompt;
        prompt.resume = false;
        prompt.exists = {answer, false};
        m_sink.notices.clear();
        std::unique_ptr<CmmsThread> job = Record(address, "Part", &prompt);
        EXPECT_EQ(prompt.asked, 2);  // continue? then: the file exists
        EXPECT_EQ(m_sink.Count(JobSink::kSkipped), answer == JobPrompt::ExistsAnswer::Pass ? 1 : 0);
        if (answer == JobPrompt::ExistsAnswer::Ok) {
            EXPECT_FALSE(job->Stopped());
            EXPECT_EQ(test::ReadFileBytes(Base("Part.asf")), full);
        } else {
            EXPECT_TRUE(job->Stopped());
            EXPECT_EQ(test::ReadFileBytes(Base("Part.asf")), partial);
        }
    }
}

}  // namespace
}  // namespace tapewell
