// The player area on the offscreen platform against media made by ffmpeg:
// its signals, seeks, pixels, full screen and captions.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QLocale>
#include <QMenu>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>
#include <memory>
#include <string>

#include "GuiTestSupport.h"
#include "PlayerTestMedia.h"
#include "gui/app/ActionTable.h"
#include "gui/app/CRecorderApp.h"
#include "gui/player/PlayerView.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

using test::WaitFor;

// GStreamer keeps its plugin registry across the test processes, outside
// the fresh folders each test gets.
class SharedRegistry : public ::testing::Environment {
public:
    void SetUp() override {
        const std::filesystem::path scratch = TAPEWELL_TEST_SCRATCH;
        std::filesystem::create_directories(scratch);
        setenv("GST_REGISTRY", (scratch / "registry.bin").c_str(), 1);
    }
};
const auto* const kRegistry = ::testing::AddGlobalTestEnvironment(new SharedRegistry);

std::filesystem::path Ffmpeg(const std::string& name, const std::vector<std::string>& args) {
    const auto path = test::MediaFolder() / name;
    std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y"};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.insert(argv.end(),
                {"-c:v", "wmv2", "-b:v", "300k", "-g", "5", "-f", "asf", path.string()});
    EXPECT_EQ(test::Run(argv).exitCode, 0);
    return path;
}

// Red for a second, then blue for a second, 320x240.
const std::filesystem::path& RedBlueClip() {
    static const auto path = Ffmpeg(
        "redblue.asf", {"-f", "lavfi", "-i", "color=red:s=320x240:r=10:d=1", "-f", "lavfi", "-i",
                        "color=blue:s=320x240:r=10:d=1", "-filter_complex", "concat=n=2:v=1:a=0"});
    return path;
}

const std::filesystem::path& LongClip() {
    static const auto path =
        Ffmpeg("long.asf", {"-f", "lavfi", "-i", "testsrc2=size=160x120:rate=5:duration=40"});
    return path;
}

// A 3 s clip with clip.smi beside it.
const std::filesystem::path& CaptionedClip() {
    static const auto path = [] {
        const auto folder = test::MediaFolder() / "captioned";
        std::filesystem::create_directories(folder);
        test::AsfRecipe recipe;
        recipe.seconds = 3.0;
        test::MakeAsf(folder / "clip.asf", recipe);
        const std::string sami =
            "<SAMI><HEAD><STYLE TYPE=\"text/css\"><!-- .KRCC { Name: Korean; lang: ko-KR; } -->"
            "</STYLE></HEAD><BODY>\n<SYNC Start=500><P Class=KRCC>Hello&nbsp;world\n"
            "<SYNC Start=1500><P Class=KRCC><font color=\"#ffffff\">Line1<br>Line2</font>\n"
            "</BODY></SAMI>\n";
        test::WriteFileBytes(folder / "clip.smi", {sami.begin(), sami.end()});
        return folder / "clip.asf";
    }();
    return path;
}

QString Q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

// A window holding nothing but the view, as the main window's splitter does.
class PlayerViewTest : public ::testing::Test {
protected:
    PlayerViewTest() : m_actions(&m_window) {
        m_settings.m_keep = false;
        m_view = new PlayerView(m_settings, m_actions, &m_window);
        auto* layout = new QVBoxLayout(&m_window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_view);
        m_window.resize(400, 300);
        m_window.show();
    }

    bool PlayAndWait(const std::filesystem::path& path) {
        return m_view->Play(Q(path)) &&
               WaitFor([this] { return m_view->PlayState() == PlayerView::kPlaying; });
    }
    bool WaitForPosition(int seconds) {
        return WaitFor([&] { return m_view->Player().GetPosition() >= seconds; });
    }
    QAction* Action(int id) { return m_actions.Get(id); }
    // Caption-white pixels in the window's caption band of 50 pixels.
    int WhiteInBand() {
        const QImage shot = m_view->grab().toImage();
        int white = 0;
        for (int y = m_view->height() - 50; y < m_view->height(); ++y) {
            for (int x = 23; x < m_view->width() - 23; ++x)
                white += shot.pixelColor(x, y) == Qt::white;
        }
        return white;
    }
    QColor PixelAt(QPoint at) { return m_view->grab().toImage().pixelColor(at); }

    AppSettings m_settings;
    QWidget m_window;
    ActionTable m_actions;
    PlayerView* m_view = nullptr;
};

TEST_F(PlayerViewTest, PlaysAClipToItsEndWithTheSignalsTheListFollows) {
    QSignalSpy opening(m_view, &PlayerView::opening);
    QSignalSpy opened(m_view, &PlayerView::opened);
    QSignalSpy states(m_view, &PlayerView::playStateChanged);
    QSignalSpy ticks(m_view, &PlayerView::positionTick);
    ASSERT_TRUE(m_view->Play(Q(test::VideoClip()), "clip"));
    EXPECT_TRUE(m_view->IsOpening());
    ASSERT_TRUE(WaitFor([&] { return opened.size() == 1; }));
    EXPECT_EQ(opening.size(), 1);
    ASSERT_GE(states.size(), 1);
    EXPECT_EQ(states.at(0).at(0).toInt(), PlayerView::kPlaying);
    EXPECT_TRUE(m_view->ShowsVideo());
    EXPECT_EQ(m_view->StatusText(), "clip");

    ASSERT_TRUE(WaitFor([&] { return m_view->PlayState() == PlayerView::kStopped; }, 6000));
    EXPECT_EQ(states.last().at(0).toInt(), PlayerView::kStopped);
    // About ten ticks a second over the 2 s clip.
    EXPECT_GE(ticks.size(), 12);
    EXPECT_LE(ticks.size(), 30);
    EXPECT_EQ(m_view->Player().GetPosition(), 0);
    EXPECT_FALSE(m_view->ShowsVideo());
}

TEST_F(PlayerViewTest, AFailedOpenIsSilentAndShowsItsErrorForASecond) {
    test::ScriptedUiPrompt& prompt = test::InstallScriptedPrompt();
    QSignalSpy opening(m_view, &PlayerView::opening);
    QSignalSpy failed(m_view, &PlayerView::openFailed);
    m_view->Play(Q(test::MediaFolder() / "missing.asf"));
    ASSERT_TRUE(WaitFor([&] { return failed.size() == 1; }));
    EXPECT_EQ(opening.size(), 1);
    EXPECT_TRUE(prompt.messages.isEmpty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(m_view->LastError().isEmpty());
    EXPECT_EQ(m_view->StatusText(), m_view->LastError());
    EXPECT_TRUE(WaitFor([&] { return m_view->StatusText().isEmpty(); }, 1500));
}

TEST_F(PlayerViewTest, PlayPauseAlternatesAndStopWhenStoppedSaysNothing) {
    ASSERT_TRUE(PlayAndWait(test::VideoClip()));
    QSignalSpy states(m_view, &PlayerView::playStateChanged);
    m_view->PlayPause();
    m_view->PlayPause();
    m_view->PlayPause();
    ASSERT_EQ(states.size(), 3);
    EXPECT_EQ(states.at(0).at(0).toInt(), PlayerView::kPaused);
    EXPECT_EQ(states.at(1).at(0).toInt(), PlayerView::kPlaying);
    EXPECT_EQ(states.at(2).at(0).toInt(), PlayerView::kPaused);
    m_view->Stop();
    ASSERT_EQ(states.size(), 4);
    m_view->Stop();
    EXPECT_EQ(states.size(), 4);
}

TEST_F(PlayerViewTest, StopCancelsAnOpenThatHangsWithoutBlockingTheWindow) {
    // A peer that takes the connection and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QString address = QString("http://127.0.0.1:%1/clip.asf").arg(silent.serverPort());
    QSignalSpy failed(m_view, &PlayerView::openFailed);
    ASSERT_TRUE(m_view->Play(address));
    // The event loop keeps turning while the open waits on the silent peer:
    // a blocked window would never see a timer tick. Counted in ticks, not
    // turns per time, so that a loaded machine cannot fail it.
    int ticks = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start();
    EXPECT_TRUE(WaitFor([&] { return ticks >= 5; }, 3000));
    tick.stop();
    EXPECT_TRUE(m_view->IsOpening());
    QElapsedTimer clock;
    clock.start();
    m_view->Stop();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_FALSE(m_view->IsOpening());
    QTest::qWait(300);
    EXPECT_EQ(failed.size(), 0);
    EXPECT_FALSE(m_view->Player().IsOpen());
}

TEST_F(PlayerViewTest, SeeksStayInsideTheMedia) {
    ASSERT_TRUE(PlayAndWait(LongClip()));
    m_view->PlayPause();
    MediaPlayer& player = m_view->Player();
    ASSERT_TRUE(player.Seek(20));
    Action(command::kBack30)->trigger();
    EXPECT_EQ(player.GetPosition(), 20);
    ASSERT_TRUE(player.Seek(31));
    Action(command::kBack30)->trigger();
    EXPECT_EQ(player.GetPosition(), 1);
    ASSERT_TRUE(player.Seek(30));
    Action(command::kForward60)->trigger();
    EXPECT_EQ(player.GetPosition(), 30);
    Action(command::kForward30)->trigger();
    EXPECT_EQ(player.GetPosition(), 30);  // 60 s is the end
}

TEST_F(PlayerViewTest, PaintsTheFrameCentredAndCopiesItAtTheVideoSize) {
    m_settings.m_keep = true;
    ASSERT_TRUE(PlayAndWait(RedBlueClip()));
    m_window.resize(800, 300);
    ASSERT_TRUE(WaitFor([&] { return m_view->width() == 800; }));
    ASSERT_TRUE(WaitFor([&] { return m_view->Player().GetPosition() >= 1; }));
    ASSERT_TRUE(WaitFor([&] { return Near(m_view->LastFrame().pixelColor(160, 120), Qt::blue); }));
    m_view->PlayPause();
    ASSERT_TRUE(m_view->Player().Seek(1));
    const QRect video = m_view->VideoRect();
    ASSERT_EQ(video.height(), m_view->height());
    EXPECT_EQ(video.width(), m_view->height() * 4 / 3);
    EXPECT_TRUE(Near(PixelAt(video.center()), Qt::blue));
    EXPECT_EQ(PixelAt({2, m_view->height() / 2}), QColor(Qt::black));
    EXPECT_EQ(PixelAt({m_view->width() - 2, m_view->height() / 2}), QColor(Qt::black));

    QGuiApplication::clipboard()->clear();
    Action(command::kCopyPicture)->trigger();
    const QImage copied = QGuiApplication::clipboard()->image();
    EXPECT_EQ(copied.size(), QSize(320, 240));
    EXPECT_TRUE(Near(copied.pixelColor(160, 120), Qt::blue));
}

TEST_F(PlayerViewTest, SizeCommandsResizeTheWindowAndGreyWithoutVideo) {
    EXPECT_FALSE(Action(command::kDoubleSize)->isEnabled());
    EXPECT_FALSE(Action(command::kFontBigger)->isEnabled());
    ASSERT_TRUE(PlayAndWait(test::VideoClip()));
    EXPECT_TRUE(Action(command::kDoubleSize)->isEnabled());
    EXPECT_FALSE(Action(command::kFontBigger)->isEnabled());  // no captions
    Action(command::kDoubleSize)->trigger();
    EXPECT_EQ(m_view->size(), QSize(640, 480));
    EXPECT_EQ(m_view->StatusText(), "Double size : 640x480");
    Action(command::kKeepSize)->trigger();
    Action(command::kHalfSize)->trigger();
    EXPECT_EQ(m_view->size(), QSize(640, 480));
}

TEST_F(PlayerViewTest, FullScreenIsLeftByEscOnly) {
    ASSERT_TRUE(PlayAndWait(test::VideoClip()));
    QTest::keyClick(&m_window, Qt::Key_Escape);
    EXPECT_FALSE(m_view->IsFullScreen());
    QTest::keyClick(&m_window, Qt::Key_Return, Qt::AltModifier);
    ASSERT_TRUE(m_view->IsFullScreen());
    QWidget* full = m_view->FullScreenWindow();
    EXPECT_TRUE(full->isFullScreen());
    EXPECT_FALSE(m_view->isEnabled());
    QTest::keyClick(full, Qt::Key_Escape);
    EXPECT_FALSE(m_view->IsFullScreen());
    EXPECT_TRUE(m_view->isEnabled());
}

TEST_F(PlayerViewTest, DrawsSamiCaptionsInTheBandAndFollowsTheCaptionCommands) {
    m_settings.m_captionSize = 12;
    m_settings.m_captionMargin = 50;
    ASSERT_TRUE(PlayAndWait(CaptionedClip()));
    EXPECT_TRUE(m_settings.m_enableCaption);
    ASSERT_TRUE(WaitFor([&] { return m_view->CaptionText() == "Hello world"; }));
    EXPECT_GT(WhiteInBand(), 20);
    EXPECT_EQ(m_view->VideoRect().height(), m_view->height() - 50);

    Action(command::kFontBigger)->trigger();
    EXPECT_EQ(m_settings.m_captionSize, 13);
    EXPECT_EQ(QFontInfo(m_view->Caption().Font()).pointSize(), 13);
    Action(command::kHideCaption)->trigger();
    EXPECT_FALSE(m_settings.m_enableCaption);
    EXPECT_EQ(m_view->VideoRect().height(), m_view->height());
    // Off, a caption is still taken; on again, it shows at the next paint.
    ASSERT_TRUE(WaitFor([&] { return m_view->CaptionText() == "Line1\nLine2"; }));
    m_view->PlayPause();
    Action(command::kHideCaption)->trigger();
    EXPECT_GT(WhiteInBand(), 20);

    for (int i = 0; i < 12; ++i)
        Action(command::kSmallCaption)->trigger();
    EXPECT_EQ(m_settings.m_captionMargin, 0);
    for (int i = 0; i < 250; ++i)
        Action(command::kFontSmaller)->trigger();
    EXPECT_EQ(m_settings.m_captionSize, 1);
}

TEST_F(PlayerViewTest, ClosingWhilePlayingIsClean) {
    ASSERT_TRUE(PlayAndWait(test::VideoClip()));
    QTest::qWait(200);
    delete m_view;
    m_view = nullptr;
}

// The play-* folders of the test's cache (fresh for every test).
int PlayFolders() {
    std::error_code error;
    int count = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(test::TestHome() / ".cache" / "Tapewell", error)) {
        count += entry.path().filename().string().rfind("play-", 0) == 0;
    }
    return count;
}

// A stream GStreamer cannot read plays through a recording job; it cannot
// seek, and no cache folder outlives its end, a Stop or the window.
TEST_F(PlayerViewTest, PlaysAStreamThroughTheEnginesAndLeavesNoCacheBehind) {
    setenv("XDG_CACHE_HOME", (test::TestHome() / ".cache").c_str(), 1);
    test::TestServer server(test::VideoClip().parent_path(), {"--only", "mms"});
    ASSERT_TRUE(server.Ready());
    const QString address = QString("mms://127.0.0.1:%1/clip.asf").arg(server.MmsPort());
    QSignalSpy opened(m_view, &PlayerView::opened);
    QSignalSpy ticks(m_view, &PlayerView::positionTick);
    ASSERT_TRUE(m_view->Play(address));
    EXPECT_TRUE(WaitFor([&] { return PlayFolders() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return opened.size() == 1; }, 10000))
        << m_view->LastError().toStdString();
    EXPECT_TRUE(m_view->ShowsVideo());
    EXPECT_FALSE(m_view->CanSeek());
    EXPECT_FALSE(m_view->SeekTo(1));
    EXPECT_EQ(m_view->Duration(), 2);
    ASSERT_TRUE(WaitFor([&] { return m_view->PlayState() == PlayerView::kStopped; }, 6000));
    EXPECT_GE(ticks.size(), 12);
    EXPECT_EQ(PlayFolders(), 0);

    // Stopped while playing, and left playing when the window goes.
    for (bool stop : {true, false}) {
        ASSERT_TRUE(m_view->Play(address));
        ASSERT_TRUE(WaitFor([&] { return m_view->PlayState() == PlayerView::kPlaying; }, 10000));
        EXPECT_EQ(PlayFolders(), 1);
        if (stop) {
            m_view->Stop();
        } else {
            delete m_view;
            m_view = nullptr;
        }
        EXPECT_EQ(PlayFolders(), 0);
    }
}

// The current pair goes to the server; a job that fails before any bytes
// fails the open with its own text, as a closed port does.
TEST_F(PlayerViewTest, AStreamThatCannotBeFetchedFailsTheOpenWithTheJobsText) {
    setenv("XDG_CACHE_HOME", (test::TestHome() / ".cache").c_str(), 1);
    test::ScriptedUiPrompt& prompt = test::InstallScriptedPrompt();
    int asked = 0;
    prompt.dialogHandler = [&](QDialog*) {
        ++asked;
        return int(QDialog::Rejected);
    };
    test::TestServer server(test::VideoClip().parent_path(), {"--only", "http", "--auth", "u:p"});
    ASSERT_TRUE(server.Ready());
    const QString address = QString("http://127.0.0.1:%1/clip.asf").arg(server.HttpPort());
    QSignalSpy opened(m_view, &PlayerView::opened);
    QSignalSpy failed(m_view, &PlayerView::openFailed);
    m_settings.m_userName = "u";
    m_settings.m_password = "p";
    ASSERT_TRUE(m_view->Play(address));
    ASSERT_TRUE(WaitFor([&] { return opened.size() == 1; }, 10000))
        << m_view->LastError().toStdString();
    EXPECT_EQ(asked, 0);
    m_view->Stop();

    m_settings.m_userName.clear();
    m_settings.m_password.clear();
    ASSERT_TRUE(m_view->Play(address));
    ASSERT_TRUE(WaitFor([&] { return failed.size() == 1; }, 10000));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(m_view->LastError(), "Authorization cancelled!");

    // A login stored for the site is used without a question, as a
    // recording uses it.
    ProfileStore profile(ProfileStore::DefaultPath());
    ASSERT_TRUE(profile.WriteString("NetPassword\\localhost", "User", "u"));
    ASSERT_TRUE(profile.WriteString("NetPassword\\localhost", "Password", "p"));
    m_view->SetProfile(&profile);
    ASSERT_TRUE(m_view->Play(QString("http://localhost:%1/clip.asf").arg(server.HttpPort())));
    ASSERT_TRUE(WaitFor([&] { return opened.size() == 2; }, 10000))
        << m_view->LastError().toStdString();
    EXPECT_EQ(asked, 1);
    m_view->Stop();
    m_view->SetProfile(nullptr);

    ASSERT_TRUE(m_view->Play("mms://127.0.0.1:1/clip.asf"));
    ASSERT_TRUE(WaitFor([&] { return failed.size() == 2; }, 20000));
    EXPECT_EQ(m_view->LastError(), "connect failed !!");
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(PlayFolders(), 0);
}

// Last in the program: the translators it installs stay for the process.
TEST_F(PlayerViewTest, SpeaksKoreanUnderAKoreanLocale) {
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    InstallTranslations(*QCoreApplication::instance());
    ASSERT_TRUE(PlayAndWait(test::VideoClip()));
    Action(command::kHalfSize)->trigger();
    EXPECT_EQ(m_view->StatusText(), "절반 크기 : 160x120");
    Action(command::kKeepRatio)->trigger();
    EXPECT_EQ(m_view->StatusText(), "화면 비율 유지");
    std::unique_ptr<QMenu> menu(m_view->CreateMenu(nullptr));
    EXPECT_EQ(menu->title(), "재생(&P)");
    QLocale::setDefault(QLocale::c());
}

}  // namespace
}  // namespace tapewell::gui
