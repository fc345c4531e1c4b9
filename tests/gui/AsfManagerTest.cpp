// The ASF Manager on real files: texts against AsfInfo, the preview on
// GStreamer (sound into a fakesink), cuts read back by ffprobe, pictures
// read back by ffprobe, and closing the window while its threads work.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTranslator>
#include <QUrl>

#include <fstream>
#include <memory>
#include <set>

#include "GuiTestSupport.h"
#include "PlayerTestMedia.h"
#include "asf/AsfInfo.h"
#include "common/SizeTimeText.h"
#include "gui/manager/AsfManagerDialog.h"
#include "gui/manager/CapturePage.h"
#include "gui/manager/CutPage.h"
#include "gui/manager/InfoPage.h"
#include "gui/manager/PreviewStrip.h"
#include "gui/manager/SelectionSlider.h"
#include "gui/player/VideoCanvas.h"
#include "player/FrameSnapshot.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"
#include "support/AsfClip.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using test::ScriptedUiPrompt;
using test::WaitFor;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Six seconds of 320 × 240 WMV2 with mono 44.1 kHz WMA2, the sound stream
// first (so that the last stream the header describes is the video).
const fs::path& Clip() {
    static const fs::path path = [] {
        const fs::path out = test::MediaFolder() / "manager-clip.asf";
        const test::CommandResult made = test::Run({"ffmpeg",
                                                    "-hide_banner",
                                                    "-loglevel",
                                                    "error",
                                                    "-y",
                                                    "-f",
                                                    "lavfi",
                                                    "-i",
                                                    "sine=frequency=440:sample_rate=44100",
                                                    "-f",
                                                    "lavfi",
                                                    "-i",
                                                    "testsrc2=size=320x240:rate=25",
                                                    "-map",
                                                    "0:a",
                                                    "-map",
                                                    "1:v",
                                                    "-t",
                                                    "6",
                                                    "-c:v",
                                                    "wmv2",
                                                    "-b:v",
                                                    "300k",
                                                    "-c:a",
                                                    "wmav2",
                                                    "-b:a",
                                                    "64k",
                                                    "-ac",
                                                    "1",
                                                    out.string()});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return out;
    }();
    return path;
}

// The clip's packets repeated until the file holds about 160 MB, with the
// File Properties and the Data object counting them all: a cut of the whole
// range copies every one of them, which takes long enough to be cancelled.
fs::path MakeLargeCopy(const fs::path& out) {
    const test::AsfClip clip = test::AsfClip::Read(Clip());
    constexpr uint64_t kRepeats = 400;
    const uint64_t packets = clip.packetCount * kRepeats;
    const uint64_t dataBytes = packets * clip.packetSize;
    std::vector<uint8_t> head = clip.StreamHeader();
    auto put64 = [&head](size_t at, uint64_t value) {
        for (int i = 0; i < 8; ++i) {
            head.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
        }
    };
    const size_t properties = clip.PropertiesOffset();
    put64(properties + 40, clip.DataStart() + dataBytes);  // File Size
    put64(properties + 56, packets);                       // Data Packets Count
    put64(clip.headerSize + 16, 50 + dataBytes);           // Data Object Size
    put64(clip.headerSize + 40, packets);                  // Total Data Packets
    std::ofstream file(out, std::ios::binary);
    file.write(reinterpret_cast<const char*>(head.data()), std::streamsize(head.size()));
    const uint8_t* first = clip.bytes.data() + clip.DataStart();
    for (uint64_t i = 0; i < kRepeats; ++i) {
        file.write(reinterpret_cast<const char*>(first),
                   std::streamsize(clip.packetCount * clip.packetSize));
    }
    EXPECT_TRUE(file.good());
    return out;
}

// ffprobe's view of a picture: "codec,width,height,pixel format".
std::string ProbePicture(const fs::path& file) {
    const test::CommandResult probe =
        test::Run({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                   "stream=codec_name,width,height,pix_fmt", "-of", "csv=p=0", file.string()});
    return probe.out.substr(0, probe.out.find('\n'));
}

std::set<fs::path> FilesIn(const fs::path& folder) {
    std::set<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files.insert(entry.path());
    }
    return files;
}

// Collects the log lines of saved pictures, which come from the streaming
// thread.
class PictureLog {
public:
    PictureLog() {
        s_current = this;
        m_previous = qInstallMessageHandler(&PictureLog::Handle);
    }
    ~PictureLog() {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList Lines() const {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }

private:
    static void Handle(QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtInfoMsg && s_current != nullptr) {
            QMutexLocker lock(&s_current->m_mutex);
            s_current->m_lines << text;
        }
    }
    static inline PictureLog* s_current = nullptr;
    QtMessageHandler m_previous;
    mutable QMutex m_mutex;
    QStringList m_lines;
};

// Takes the URLs that Play opens instead of a desktop program.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler("file", this, "Take"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler("file"); }
    QList<QUrl> urls;
public Q_SLOTS:
    void Take(const QUrl& url) { urls << url; }
};

class AsfManager : public ::testing::Test {
protected:
    void SetUp() override {
        m_prompt = &test::InstallScriptedPrompt();
        m_settings.m_baseDirectory = (test::TestHome() / "base").string();
        fs::create_directories(m_settings.m_baseDirectory);
    }

    // A copy of the clip under name in the test's own folder.
    fs::path CopyClip(const std::string& name) {
        const fs::path copy = test::TestHome() / name;
        fs::copy_file(Clip(), copy);
        return copy;
    }

    std::unique_ptr<AsfManagerDialog> Open(
        const fs::path& path, AsfManagerDialog::Page page = AsfManagerDialog::kCutPage) {
        auto dialog =
            std::make_unique<AsfManagerDialog>(PathText(path), page, m_settings, m_profile);
        dialog->show();
        return dialog;
    }

    fs::path SaveFolder() const { return fs::path(m_settings.m_baseDirectory) / "save"; }

    ScriptedUiPrompt* m_prompt = nullptr;
    AppSettings m_settings;
    ProfileStore m_profile{ProfileStore::DefaultPath()};
};

TEST_F(AsfManager, ShowsWhatTheHeaderSays) {
    const fs::path clip = CopyClip("clip.asf");
    AsfInfo info;
    ASSERT_TRUE(info.Parse(clip));
    ASSERT_TRUE(info.HasVideoFormat() && info.HasAudioFormat());
    auto dialog = Open(clip, AsfManagerDialog::kInfoPage);

    const QString size = Q(FormatSize(info.GetFileSize()));
    const QString time = Q(FormatTime(info.GetDurationSeconds()));
    ASSERT_EQ(info.GetAudioFlag(), 0u);  // the video stream is described last
    EXPECT_EQ(dialog->StatusLabel()->text(),
              QString("Size:%1, Time:%2, Video size:320x240").arg(size, time));
    EXPECT_TRUE(dialog->Tabs()->isVisible());
    EXPECT_EQ(dialog->Tabs()->currentIndex(), AsfManagerDialog::kInfoPage);

    const InfoPage& page = *dialog->Information();
    EXPECT_EQ(page.Text(InfoPage::kSizeTime), size + " - " + time);
    EXPECT_EQ(page.Text(InfoPage::kBitrate),
              QString("%1Kbps").arg(info.GetFileProperties().maxBitrate / 1024));
    EXPECT_EQ(page.Text(InfoPage::kVideoSize), "320 x 240 (24)");
    EXPECT_EQ(page.Text(InfoPage::kAudioFormat), "44 kHz 16bit Mono");
    ASSERT_FALSE(info.GetVideoCodecs().empty());
    ASSERT_FALSE(info.GetAudioCodecs().empty());
    EXPECT_EQ(page.Text(InfoPage::kVideoCodec), Q(info.GetVideoCodecs().front()));
    EXPECT_EQ(page.Text(InfoPage::kAudioCodec), Q(info.GetAudioCodecs().front()));
    EXPECT_EQ(page.Text(InfoPage::kPath), PathText(clip));

    // The slider and the cut run over the same whole seconds.
    const int duration = info.GetDurationSeconds();
    EXPECT_EQ(dialog->Slider()->maximum(), duration);
    EXPECT_EQ(dialog->Slider()->SelectionEnd(), duration);
    EXPECT_EQ(dialog->Cut()->End(), duration);
    EXPECT_EQ(dialog->Cut()->Output(), test::TestHome() / "clip_cut.asf");
    EXPECT_TRUE(fs::is_directory(SaveFolder()));
    EXPECT_EQ(dialog->Capture()->BaseName(), "clip");
}

TEST_F(AsfManager, WithoutAnAsfFileThePagesStayOut) {
    const QSize withFile = Open(CopyClip("clip.asf"))->size();

    auto empty = Open({});
    EXPECT_FALSE(empty->Tabs()->isVisible());
    EXPECT_LT(empty->width(), withFile.width());

    const fs::path text = test::TestHome() / "notes.asf";
    test::WriteFileBytes(text, std::vector<uint8_t>(4096, 'x'));
    auto notAsf = Open(text);
    EXPECT_FALSE(notAsf->Tabs()->isVisible());

    // Open... with a file that does not parse: the pages are disabled, the
    // file that was open stays, and nothing is said.
    const fs::path clip = test::TestHome() / "clip.asf";
    auto dialog = Open(clip);
    m_prompt->dialogHandler = [&](QDialog* shown) {
        qobject_cast<QFileDialog*>(shown)->selectFile(PathText(text));
        return int(QDialog::Accepted);
    };
    dialog->OpenButton()->click();
    EXPECT_FALSE(dialog->Tabs()->isEnabled());
    EXPECT_EQ(dialog->PathEdit()->text(), PathText(clip));
    EXPECT_TRUE(m_prompt->messages.isEmpty());
    EXPECT_EQ(m_profile.GetString("Path", "video", ""), text.string());

    m_prompt->dialogHandler = [&](QDialog* shown) {
        qobject_cast<QFileDialog*>(shown)->selectFile(PathText(clip));
        return int(QDialog::Accepted);
    };
    empty->OpenButton()->click();
    EXPECT_TRUE(empty->Tabs()->isVisible());
    EXPECT_TRUE(empty->Tabs()->isEnabled());
    EXPECT_EQ(empty->PathEdit()->text(), PathText(clip));
}

TEST_F(AsfManager, PreviewBlinksRepeatsAndStops) {
    auto dialog = Open(CopyClip("clip.asf"));
    dialog->PlayButton()->click();
    ASSERT_EQ(dialog->PlayState(), AsfManagerDialog::kPlaying);
    EXPECT_TRUE(WaitFor([&] { return !dialog->Canvas()->LastFrame().isNull(); }));

    dialog->PauseButton()->click();
    ASSERT_EQ(dialog->PlayState(), AsfManagerDialog::kPaused);
    // The mark and three blanks take turns, one per tick.
    QStringList marks;
    for (int tick = 0; tick < 4; ++tick) {
        dialog->Tick();
        marks << dialog->TimeLabel()->text().left(4);
    }
    const QString mark = "◈ 0:";
    const QString blank = "    ";
    EXPECT_TRUE(marks == QStringList({mark, blank, mark, blank}) ||
                marks == QStringList({blank, mark, blank, mark}))
        << marks.join('|').toStdString();
    dialog->PauseButton()->click();
    dialog->Tick();
    EXPECT_TRUE(dialog->TimeLabel()->text().startsWith("▶ 0:00:0"));

    // Selection 2 ... 4 with Repeat: once the position reaches 4 s, it goes
    // back to the selection's start.
    CutPage& cut = *dialog->Cut();
    cut.StartSpin()->setValue(2);
    cut.EndSpin()->setValue(4);
    EXPECT_EQ(dialog->Slider()->SelectionStart(), 2);
    EXPECT_EQ(dialog->Slider()->SelectionEnd(), 4);
    cut.RepeatBox()->setChecked(true);
    dialog->Jump(3);
    bool reachedEnd = false;
    EXPECT_TRUE(WaitFor(
        [&] {
            const int position = dialog->Player().GetPosition();
            reachedEnd = reachedEnd || position >= 4;
            return reachedEnd && position < 4;
        },
        6000));
    EXPECT_EQ(dialog->Player().GetPosition(), 2);

    dialog->StopButton()->click();
    EXPECT_EQ(dialog->PlayState(), AsfManagerDialog::kStopped);
    EXPECT_EQ(dialog->Player().GetPosition(), 0);
    EXPECT_EQ(dialog->Slider()->value(), 0);
    EXPECT_EQ(dialog->TimeLabel()->text(), "■ 0:00:00");

    // The end of the media stops the preview as Stop does.
    cut.RepeatBox()->setChecked(false);
    dialog->Jump(5);
    EXPECT_TRUE(WaitFor([&] { return dialog->PlayState() == AsfManagerDialog::kStopped; }, 6000));
    EXPECT_EQ(dialog->TimeLabel()->text(), "■ 0:00:00");
}

TEST_F(AsfManager, CutsTheSelectionAndDeletesIt) {
    auto dialog = Open(CopyClip("clip.asf"));
    CutPage& cut = *dialog->Cut();
    const fs::path output = test::TestHome() / "clip_cut.asf";
    EXPECT_FALSE(cut.PlayButton()->isEnabled());

    // A start at or past the end, and an end at or before the start, are
    // not taken.
    cut.EndSpin()->setValue(3);
    cut.StartSpin()->setValue(3);
    EXPECT_EQ(cut.Start(), 0);
    cut.StartSpin()->setValue(1);
    cut.EndSpin()->setValue(1);
    EXPECT_EQ(cut.End(), 3);
    EXPECT_EQ(cut.LengthLabel()->text(), "0:00:02");

    cut.CutButton()->click();
    EXPECT_FALSE(cut.CutButton()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return cut.CutButton()->isEnabled(); }));
    EXPECT_TRUE(m_prompt->messages.isEmpty()) << m_prompt->messages.join("\n").toStdString();
    EXPECT_EQ(cut.Progress()->value(), cut.Progress()->maximum());
    // Seconds 1, 2 and 3, the end second included.
    const test::ProbeReport probe = test::Probe(output);
    EXPECT_NEAR(std::stod(probe.Get("format.duration")), 3.0, 0.6);

    UrlCatcher catcher;
    ASSERT_TRUE(cut.PlayButton()->isEnabled());
    cut.PlayButton()->click();
    EXPECT_EQ(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(PathText(output))});

    cut.DeleteButton()->click();
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(cut.PlayButton()->isEnabled());

    // A cut that cannot be written says why and leaves nothing.
    const fs::path nowhere = test::TestHome() / "missing" / "clip_cut.asf";
    cut.OutputEdit()->setText(PathText(nowhere));
    cut.CutButton()->click();
    ASSERT_TRUE(WaitFor([&] { return !m_prompt->messages.isEmpty(); }));
    EXPECT_TRUE(m_prompt->messages.front().contains("cannot create"))
        << m_prompt->messages.front().toStdString();
    EXPECT_TRUE(cut.CutButton()->isEnabled());
    EXPECT_FALSE(cut.PlayButton()->isEnabled());
    EXPECT_FALSE(fs::exists(nowhere.parent_path()));

    // Browse takes the chosen file as the output and keeps the source as
    // the last file opened.
    const fs::path chosen = test::TestHome() / "part.asf";
    m_prompt->dialogHandler = [&](QDialog* shown) {
        qobject_cast<QFileDialog*>(shown)->selectFile(PathText(chosen));
        return int(QDialog::Accepted);
    };
    cut.BrowseButton()->click();
    EXPECT_EQ(cut.Output(), chosen);
    EXPECT_EQ(m_profile.GetString("Path", "video", ""), (test::TestHome() / "clip.asf").string());
}

TEST_F(AsfManager, ClosingDuringACutCancelsIt) {
    const fs::path large = MakeLargeCopy(test::TestHome() / "large.asf");
    auto dialog = Open(large);
    const std::set<fs::path> before = FilesIn(test::TestHome());
    dialog->Cut()->CutButton()->click();
    ASSERT_TRUE(dialog->Cut()->IsCutting());

    QElapsedTimer closing;
    closing.start();
    dialog->reject();
    dialog.reset();
    EXPECT_LT(closing.elapsed(), 1000);
    EXPECT_EQ(FilesIn(test::TestHome()), before);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_prompt->messages.isEmpty());
}

TEST_F(AsfManager, CapturesPicturesAndPreviewsThem) {
    auto dialog = Open(CopyClip("clip.asf"), AsfManagerDialog::kCapturePage);
    CapturePage& capture = *dialog->Capture();
    capture.SecondsSpin()->setValue(1);
    capture.PicturesSpin()->setValue(2);
    capture.PreviewOnlyBox()->setChecked(false);

    PictureLog log;
    capture.StartButton()->click();
    ASSERT_EQ(dialog->PlayState(), AsfManagerDialog::kPlaying);
    ASSERT_TRUE(WaitFor([&] { return log.Lines().size() >= 4; }, 8000));
    capture.StopButton()->click();
    EXPECT_FALSE(capture.IsCapturing());

    // Every picture on disk is one the log names, named after its frame's
    // time, taken at least 500 ms after the one before.
    const QStringList lines = log.Lines();
    std::set<fs::path> logged;
    std::vector<int64_t> times;
    for (const QString& line : lines) {
        const QStringList parts = line.split('\t');
        ASSERT_EQ(parts.size(), 2) << line.toStdString();
        ASSERT_TRUE(parts[0].startsWith("Found a sample at time ") && parts[0].endsWith(" ms"));
        const int64_t ms = parts[0].mid(23).chopped(3).toLongLong();
        const QString file = parts[1].mid(1).chopped(1);
        EXPECT_EQ(TextPath(file), FrameSnapshot::PictureName(SaveFolder(), "clip", ms * 1'000'000));
        EXPECT_TRUE(times.empty() || ms - times.back() >= 500) << ms;
        times.push_back(ms);
        logged.insert(TextPath(file));
    }
    // The first frame of the media is taken at once.
    EXPECT_LT(times.front(), 100);
    EXPECT_EQ(FilesIn(SaveFolder()), logged);
    for (const fs::path& file : {*logged.begin(), *logged.rbegin()}) {
        EXPECT_EQ(ProbePicture(file), "bmp,320,240,bgr24") << file;
    }

    // Frame k went to slot k % 3, with its label; the strip shows all three.
    PreviewStrip& strip = *capture.Strip();
    const auto last = static_cast<int>(times.size()) - 1;
    const QString lastLabel = Q(FrameSnapshot::TimeLabel(times[last] * 1'000'000, false));
    ASSERT_TRUE(WaitFor([&] { return strip.Label(last % 3) == lastLabel; }));
    EXPECT_EQ(strip.Label((last - 1) % 3),
              Q(FrameSnapshot::TimeLabel(times[last - 1] * 1'000'000, false)));
    const QImage shown = strip.grab().toImage();
    for (int slot = 0; slot < PreviewStrip::kSlots; ++slot) {
        const QRect area = PreviewStrip::SlotRect(slot);
        int lit = 0;
        for (int y = area.top(); y < area.top() + 60; y += 4) {
            for (int x = area.left(); x <= area.right(); x += 4) {
                lit += qGray(shown.pixel(x, y)) > 40 ? 1 : 0;
            }
        }
        EXPECT_GT(lit, 50) << "slot " << slot;
    }
    EXPECT_EQ(capture.LastFileLabel()->text(), PathText(*std::prev(logged.end())));

    // Capture: the picture on screen as <base>_save.bmp.
    capture.CaptureButton()->click();
    const fs::path single = SaveFolder() / "clip_save.bmp";
    EXPECT_EQ(ProbePicture(single), "bmp,320,240,bgr24");
    EXPECT_EQ(capture.LastFileLabel()->text(), PathText(single));

    // Closing while a capture runs lets go of the snapshot first.
    capture.PreviewOnlyBox()->setChecked(true);
    capture.StartButton()->click();
    ASSERT_TRUE(WaitFor([&] { return strip.Label(0) != lastLabel && !strip.Label(0).isEmpty(); }));
    dialog.reset();
}

TEST_F(AsfManager, DeleteAllAsksAndKeepsOtherBaseNames) {
    auto dialog = Open(CopyClip("talk.asf"), AsfManagerDialog::kCapturePage);
    const fs::path folder = SaveFolder();
    for (const char* name : {"talk_00_01_000.bmp", "talk_save.bmp", "talk2_00_01_000.bmp"}) {
        test::WriteFileBytes(folder / name, {'B', 'M'});
    }
    m_prompt->answers = {QMessageBox::No, QMessageBox::Yes};
    dialog->Capture()->DeleteAllButton()->click();
    EXPECT_EQ(FilesIn(folder).size(), 3u);
    dialog->Capture()->DeleteAllButton()->click();
    EXPECT_EQ(FilesIn(folder), std::set<fs::path>{folder / "talk2_00_01_000.bmp"});
    EXPECT_EQ(m_prompt->questions, QStringList(2, "2 files will be deleted.\n\nDelete them?"));
}

TEST_F(AsfManager, SpeaksKoreanUnderAKoreanLocale) {
    QTranslator korean;
    ASSERT_TRUE(
        korean.load(QLocale(QLocale::Korean, QLocale::SouthKorea), "tapewell", "_", ":/i18n"));
    QCoreApplication::installTranslator(&korean);
    auto dialog = Open(CopyClip("talk.asf"));
    const QTabWidget& tabs = *dialog->Tabs();
    EXPECT_EQ(tabs.tabText(0).toStdString(), "잘라내기");
    const std::string status = dialog->StatusLabel()->text().toStdString();
    EXPECT_TRUE(status.starts_with("용량:") && status.ends_with(", 비디오크기:320x240")) << status;
    EXPECT_EQ(dialog->Information()->Text(InfoPage::kAudioFormat).toStdString(),
              "44 kHz 16bit 모노");
    m_prompt->answers = {QMessageBox::No};
    dialog->Capture()->DeleteAllButton()->click();
    ASSERT_EQ(m_prompt->questions.size(), 1);
    EXPECT_EQ(m_prompt->questions.front().toStdString(),
              "총 0개의 파일이 삭제됩니다.\n\n삭제 하시겟습니까?");
}

}  // namespace
}  // namespace tapewell::gui

#include "AsfManagerTest.moc"
