// Playing the record list's rows in the main window: the follow-up through
// the list, the Play cells that stay with their rows, a failed open, the
// volume and position controls, and Big Screen Mode.
#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>

#include "GuiTestSupport.h"
#include "PlayerTestMedia.h"
#include "app/RecordList.h"
#include "gui/app/ActionTable.h"
#include "gui/app/CMainFrame.h"
#include "gui/list/ListToolBar.h"
#include "gui/list/PlaybackCommands.h"
#include "gui/list/RecordListPane.h"
#include "gui/player/PlayerView.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using test::TestHome;
using test::WaitFor;

// GStreamer keeps its plugin registry across the tests, outside the fresh
// folders each test gets.
class SharedRegistry : public ::testing::Environment {
public:
    void SetUp() override {
        const fs::path scratch = TAPEWELL_TEST_SCRATCH;
        fs::create_directories(scratch);
        setenv("GST_REGISTRY", (scratch / "registry.bin").c_str(), 1);
    }
};
const auto* const kRegistry = ::testing::AddGlobalTestEnvironment(new SharedRegistry);

// A one-second clip, copied under each name a test asks for.
std::string Clip(const std::string& name) {
    static const fs::path made = [] {
        test::AsfRecipe recipe;
        recipe.seconds = 1.0;
        const fs::path path = test::MediaFolder() / "second.asf";
        EXPECT_TRUE(test::MakeAsf(path, recipe));
        return path;
    }();
    const fs::path copy = TestHome() / name;
    fs::copy_file(made, copy, fs::copy_options::overwrite_existing);
    return copy.string();
}

class PlaybackCommandsTest : public test::MainWindowTest {
protected:
    void Settings(const std::string& lines) {
        const fs::path ini = ProfileStore::DefaultPath();
        fs::create_directories(ini.parent_path());
        std::ofstream(ini) << "[settings]\n" << lines;
    }
    PlayerView& Player() { return *Frame().Player(); }
    void PlayRow(int row) {
        List().SelectRow(row);
        Action(command::kPlay)->trigger();
    }
    bool Playing() { return Player().PlayState() == PlayerView::kPlaying; }
};

// With "Sequence" on and "Repeat" off the local rows play one after the
// other, a network row between them is passed over, and playback stops
// after the last.
TEST_F(PlaybackCommandsTest, SequencePlaysTheLocalRowsInOrderAndStopsAfterTheLast) {
    Settings("Sequence=1\nRepeat=0\n");
    RecordList& list = List();
    const std::string a = Clip("a.asf");
    const std::string b = Clip("b.asf");
    const std::string c = Clip("c.asf");
    list.AddItem(a, "", "", "");
    list.AddItem("mms://127.0.0.1:1/never", "", "", "");
    list.AddItem(b, "", "", "");
    list.AddItem(c, "", "", "");
    QStringList opened;
    QObject::connect(&Player(), &PlayerView::opened, [&] { opened << Player().Address(); });
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return opened.size() == 3 && !Playing(); }, 20000))
        << opened.join(' ').toStdString();
    EXPECT_EQ(opened, (QStringList{QString::fromStdString(a), QString::fromStdString(b),
                                   QString::fromStdString(c)}));
    EXPECT_EQ(Frame().windowTitle(), "Tapewell - " + QString::fromStdString(c));
    EXPECT_EQ(Cell(3, kColTime), "0:00:01");
    // Nothing starts again: the follow-up ends with the list (a new open
    // would be under way well within this).
    QTest::qWait(500);
    EXPECT_EQ(opened.size(), 3);
    EXPECT_FALSE(Action(command::kStop)->isEnabled());
    EXPECT_TRUE(Action(command::kPlay)->isEnabled());
}

// Rows inserted above the playing row do not make another row the playing
// one: playing another row clears the Play cell of the row that played.
TEST_F(PlaybackCommandsTest, ThePlayCellStaysWithItsRowWhenRowsComeAbove) {
    Settings("Repeat=1\n");
    RecordList& list = List();
    list.AddItem(Clip("first.asf"), "", "", "");
    list.AddItem(Clip("second.asf"), "", "", "");
    list.AddItem(Clip("third.asf"), "", "", "");
    PlayRow(1);
    ASSERT_TRUE(WaitFor([&] { return Playing(); }));
    Action(command::kPause)->trigger();
    ASSERT_TRUE(WaitFor([&] { return Player().PlayState() == PlayerView::kPaused; }));
    EXPECT_NE(Cell(1, kColPlay), "");
    list.InsertItemAt(0, "mms://h/above1", "");
    list.InsertItemAt(0, "mms://h/above2", "");
    ASSERT_EQ(Cell(3, kColFile), "second");
    EXPECT_EQ(list.FindPlayingRow(true), 3);

    // "Play" on a paused player resumes it, whatever is selected.
    list.SelectRow(4);
    Action(command::kPlay)->trigger();
    ASSERT_TRUE(WaitFor([&] { return Playing(); }));
    EXPECT_EQ(list.FindPlayingRow(true), 3);
    // A row chosen while it plays replaces it.
    Frame().Playback().PlaySelected();
    EXPECT_EQ(Cell(3, kColPlay), "");
    ASSERT_TRUE(WaitFor([&] { return list.FindPlayingRow(false) == 4; }));
    Frame().Playback().StopPlayback();
    EXPECT_EQ(Cell(4, kColPlay), "");
    EXPECT_EQ(list.FindPlayingRow(true), RecordList::kNoRow);

    // A double click on the idle picture plays the selected row.
    list.SelectRow(2);
    QTest::mouseDClick(&Player(), Qt::LeftButton, Qt::NoModifier, Player().rect().center());
    ASSERT_TRUE(WaitFor([&] { return list.FindPlayingRow(false) == 2; }));
}

// A media that cannot be opened marks every row that names it, as its own
// address or as the file a recording wrote.
TEST_F(PlaybackCommandsTest, AFailedOpenMarksEveryRowWithThePlayersAddress) {
    RecordList& list = List();
    const std::string missing = (TestHome() / "gone.asf").string();
    list.AddItem("mms://h/show", "show", "", "");
    list.SetMark(0, kMarkRecorded);
    list.SetCellText(0, kColRecordingFile, missing);
    list.AddItem(missing, "", "", "");
    list.AddItem(Clip("fine.asf"), "", "", "");
    QSignalSpy failed(&Player(), &PlayerView::openFailed);
    PlayRow(1);
    ASSERT_TRUE(WaitFor([&] { return failed.count() == 1; }));
    EXPECT_EQ(Cell(0, kColPlay), "error");
    EXPECT_EQ(Cell(1, kColPlay), "error");
    EXPECT_EQ(Cell(2, kColPlay), "");
    EXPECT_TRUE(Action(command::kPlay)->isEnabled());
    EXPECT_FALSE(Action(command::kStop)->isEnabled());
    EXPECT_EQ(Frame().windowTitle(), "Tapewell") << "a failed open leaves the title";
}

TEST_F(PlaybackCommandsTest, VolumeKeysStayInRangeAndTheReleasedSliderSeeks) {
    Settings("Volume=4950\n");
    auto* bar = Frame().ListPane()->findChild<ListToolBar*>();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->VolumeSlider()->value(), 4950);
    Action(command::kVolumeUp)->trigger();
    EXPECT_EQ(Frame().Playback().Volume(), 5000);
    EXPECT_EQ(bar->VolumeSlider()->value(), 5000);
    Action(command::kVolumeUp)->trigger();
    EXPECT_EQ(Frame().Playback().Volume(), 5000);
    bar->VolumeSlider()->setValue(50);
    Action(command::kVolumeDown)->trigger();
    Action(command::kVolumeDown)->trigger();
    EXPECT_EQ(Frame().Playback().Volume(), 0);

    // A long clip, paused, moved with the slider as a mouse drag does.
    test::AsfRecipe recipe;
    recipe.seconds = 6.0;
    const fs::path clip = TestHome() / "long.asf";
    ASSERT_TRUE(test::MakeAsf(clip, recipe));
    List().AddItem(clip.string(), "", "", "");
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return Playing() && bar->PositionSlider()->maximum() >= 5; }));
    Action(command::kPause)->trigger();
    QSlider* position = bar->PositionSlider();
    position->setSliderDown(true);
    position->setSliderPosition(4);
    position->setSliderDown(false);
    EXPECT_TRUE(WaitFor([&] { return Player().Player().GetPosition() == 4; }));
    EXPECT_EQ(Cell(0, kColPlay), "  0:04");

    // The volume is kept for the next start.
    CloseFrame();
    EXPECT_EQ(ProfileStore(ProfileStore::DefaultPath()).GetInt("settings", "Volume", -1), 0);
}

TEST_F(PlaybackCommandsTest, BigScreenModeFillsTheScreenAndComesBack) {
    CMainFrame& window = Frame();
    const QRect normal = window.geometry();
    Action(command::kBigScreen)->trigger();
    EXPECT_TRUE(Frame().Playback().IsBigScreen());
    EXPECT_FALSE(window.menuBar()->isVisible());
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.geometry(), window.screen()->geometry());
    EXPECT_FALSE(window.ListPane()->Banner()->isVisible());
    Action(command::kBigScreen)->trigger();
    EXPECT_TRUE(window.menuBar()->isVisible());
    EXPECT_FALSE(window.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window.geometry(), normal);
    EXPECT_TRUE(window.ListPane()->Banner()->isVisible());

    // A picture that fits twice over is doubled for the big screen, and
    // back to its size after; the window keeps the screen meanwhile.
    test::AsfRecipe recipe;
    recipe.seconds = 6.0;
    recipe.size = "96x64";
    const fs::path clip = TestHome() / "small.asf";
    ASSERT_TRUE(test::MakeAsf(clip, recipe));
    List().AddItem(clip.string(), "", "", "");
    PlayRow(0);
    ASSERT_TRUE(WaitFor([&] { return Playing() && Player().ShowsVideo(); }));
    Action(command::kPause)->trigger();
    ASSERT_EQ(Player().CurrentSizeMode(), SizeMode::kNormal);
    Action(command::kBigScreen)->trigger();
    EXPECT_EQ(Player().CurrentSizeMode(), SizeMode::kDouble);
    EXPECT_EQ(window.geometry(), window.screen()->geometry());
    Action(command::kBigScreen)->trigger();
    EXPECT_EQ(Player().CurrentSizeMode(), SizeMode::kNormal);
    frame.reset();

    // With "Save Full Pos" the big rectangle is the stored one, and the one
    // the window had when leaving is stored again.
    Settings("Save Full Pos=1\n");
    ASSERT_TRUE(ProfileStore(ProfileStore::DefaultPath()).Update([](ProfileEdit& edit) {
        edit.WriteInt("position", "full mode x", 20);
        edit.WriteInt("position", "full mode y", 30);
        edit.WriteInt("position", "full mode cx", 500);
        edit.WriteInt("position", "full mode cy", 400);
    }));
    Action(command::kBigScreen)->trigger();
    EXPECT_EQ(Frame().geometry(), QRect(20, 30, 500, 400));
    Frame().setGeometry(40, 50, 520, 410);
    Action(command::kBigScreen)->trigger();
    ProfileStore stored(ProfileStore::DefaultPath());
    EXPECT_EQ(stored.GetInt("position", "full mode x", 0), 40);
    EXPECT_EQ(stored.GetInt("position", "full mode cy", 0), 410);
}

}  // namespace
}  // namespace tapewell::gui
