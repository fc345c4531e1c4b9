#include <gtest/gtest.h>

#include <QAction>
#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <memory>

#include "GuiTestSupport.h"
#include "app/IbhFile.h"
#include "app/ListFiles.h"
#include "app/StartCommand.h"
#include "gui/app/ActionTable.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/FramePosition.h"
#include "gui/list/CRecordListView.h"
#include "gui/list/RecordListPane.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

using test::TestHome;
using test::WaitFor;

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    test::WriteFileBytes(path, {text.begin(), text.end()});
}

void SaveSetting(const char* name, int value) {
    ProfileStore profile(ProfileStore::DefaultPath());
    ASSERT_TRUE(profile.WriteInt("settings", name, value));
}

// What a later start of the program would read.
ProfileStore StoredProfile() {
    return ProfileStore(ProfileStore::DefaultPath());
}

std::vector<std::string> StoredAddresses() {
    ErrorOr<IbhList> list = IbhFile::Load(AutomaticListPath());
    std::vector<std::string> addresses;
    if (list) {
        for (const IbhRecord& record : list->records) {
            addresses.push_back(record.address);
        }
    }
    return addresses;
}

using MainFrameTest = test::MainWindowTest;

TEST(FramePosition, OffScreenOrNegativeAxesStartAtZero) {
    const QSize screen(1024, 768);
    EXPECT_EQ(ClampFramePosition({-5, 100}, screen), QPoint(0, 100));
    EXPECT_EQ(ClampFramePosition({5000, 100}, screen), QPoint(0, 100));
    EXPECT_EQ(ClampFramePosition({1024, 767}, screen), QPoint(0, 767));
    EXPECT_EQ(ClampFramePosition({1023, 768}, screen), QPoint(1023, 0));
    EXPECT_EQ(ClampFramePosition({0, 0}, screen), QPoint(0, 0));
    EXPECT_EQ(ClampFramePosition({300, 200}, QSize()), QPoint(0, 0));
}

TEST_F(MainFrameTest, ShowsPlayerAreaListAndBannerAtItsSize) {
    CMainFrame& window = Frame();
    EXPECT_EQ(window.size(), QSize(CMainFrame::kDefaultWidth, CMainFrame::kDefaultHeight));
    EXPECT_EQ(window.windowTitle(), "Tapewell");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QImage shot = window.grab().toImage();
    // The player area is black beside its idle picture; the banner band at
    // the bottom is a dark blue picture.
    const QWidget* area = window.PlayerArea();
    const QPoint player = area->mapTo(&window, QPoint(5, area->height() / 2));
    EXPECT_EQ(shot.pixelColor(player), QColor(Qt::black));
    const QColor banner = shot.pixelColor(window.width() - 3, window.height() - 3);
    EXPECT_LT(banner.lightness(), 90);
    EXPECT_GT(banner.blue(), banner.red());
    // Growing the window gives the room to the player; the list keeps its height.
    const int listHeight = window.ListPane()->height();
    window.resize(window.width(), window.height() + 200);
    QTest::qWait(50);
    EXPECT_EQ(window.ListPane()->height(), listHeight);
}

TEST_F(MainFrameTest, DropsOpenFilesUrisAndAddressesInOrder) {
    test::WriteFileBytes(TestHome() / "b.asf", std::vector<uint8_t>(3000, 0));
    test::WriteFileBytes(TestHome() / "라디오.wma", std::vector<uint8_t>(10, 0));
    CMainFrame& window = Frame();
    QMimeData data;
    data.setUrls(
        {QUrl::fromLocalFile(QString::fromStdString((TestHome() / "b.asf").string())),
         QUrl("mms://h/live"), QUrl("ftp://h/x.asf"),
         QUrl::fromLocalFile(QString::fromStdString((TestHome() / "라디오.wma").string()))});
    const QPoint at = window.PlayerArea()->mapTo(&window, QPoint(10, 10));
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &drop);

    RecordList& list = window.List();
    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.GetCellText(0, kColFile), "b");
    EXPECT_EQ(list.GetCellText(0, kColSize), "2K");
    EXPECT_EQ(list.GetCellText(1, kColOriginalFile), "mms://h/live");
    EXPECT_EQ(list.GetCellText(2, kColFile), "라디오");

    // A drop that brings nothing we open is refused.
    QMimeData other;
    other.setUrls({QUrl("ftp://h/x.asf")});
    QDragEnterEvent refused(at, Qt::CopyAction, &other, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST_F(MainFrameTest, CommandItemsSelectPlayOrRecordTheirRow) {
    CMainFrame& window = Frame();
    std::vector<int> played;
    std::vector<int> recorded;
    window.m_playRowHook = [&](int row) { played.push_back(row); };
    window.m_recordRowHook = [&](int row) { recorded.push_back(row); };
    RecordList& list = window.List();

    window.OpenFromCommand(kStartPlay, "mms://h/a.asf&&News");
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.GetCellText(0, kColFile), "News");
    EXPECT_EQ(list.FirstSelectedRow(), 0);
    EXPECT_EQ(played, std::vector<int>{0});

    window.OpenFromCommand(kStartRecord, "mms://h/b.asf");
    EXPECT_EQ(recorded, std::vector<int>{1});
    EXPECT_EQ(list.FirstSelectedRow(), 1);
    // While a row records, "/Rec" only selects.
    list.SetJobNumber(1, 4);
    window.OpenFromCommand(kStartRecord, "mms://h/c.asf");
    EXPECT_EQ(recorded, std::vector<int>{1});
    EXPECT_EQ(list.FirstSelectedRow(), 2);

    window.OpenFromCommand(kStartRecord, "");
    EXPECT_EQ(list.RowCount(), 3);

    // A list file loads, is remembered, and names no row to record.
    IbhList file;
    file.records.push_back({"One", "mms://h/1.asf", "", "", ""});
    const std::string ibh = (TestHome() / "x.ibh").string();
    ASSERT_TRUE(IbhFile::Save(ibh, file));
    window.OpenFromCommand(kStartRecord, QString::fromStdString(ibh));
    EXPECT_EQ(list.RowCount(), 4);
    EXPECT_EQ(recorded, std::vector<int>{1});
    EXPECT_EQ(StoredProfile().GetString("Path", "ibh", ""), ibh);

    // A list file that cannot be read says so.
    WriteText(TestHome() / "bad.ibh", "garbage");
    window.OpenFromCommand(kStartPlay, QString::fromStdString((TestHome() / "bad.ibh").string()));
    ASSERT_EQ(prompt->messages.size(), 1);
    EXPECT_TRUE(prompt->messages[0].contains("bad.ibh"));
    EXPECT_EQ(list.RowCount(), 4);
}

TEST_F(MainFrameTest, TheAutomaticListFollowsEveryChangeWithinTwoSeconds) {
    SaveSetting("Save Play List", 1);
    CMainFrame& window = Frame();
    window.OpenFromCommand(kStartPlay, "mms://h/1.asf");
    window.OpenFromCommand(kStartPlay, "http://h/2.asx");
    EXPECT_TRUE(WaitFor([] { return StoredAddresses().size() == 2; }, 2000));
    window.List().SelectRow(0);
    window.List().MoveSelectedDown();
    EXPECT_TRUE(WaitFor(
        [] {
            return StoredAddresses() == std::vector<std::string>{"http://h/2.asx", "mms://h/1.asf"};
        },
        2000));

    // The next start shows the same rows in the same order.
    frame.reset();
    CMainFrame& again = Frame();
    ASSERT_EQ(again.List().RowCount(), 2);
    EXPECT_EQ(again.List().GetCellText(0, kColOriginalFile), "http://h/2.asx");
}

TEST_F(MainFrameTest, AnUnreadableAutomaticListIsKeptAsideNotOverwritten) {
    SaveSetting("Save Play List", 1);
    WriteText(AutomaticListPath(), "not a list at all");
    CMainFrame& window = Frame();
    ASSERT_TRUE(WaitFor([&] { return prompt->messages.size() == 1; }));
    EXPECT_TRUE(prompt->messages[0].contains("unreadable"));
    std::filesystem::path aside = AutomaticListPath();
    aside += ".unreadable";
    EXPECT_EQ(test::ReadFileBytes(aside).size(), 17u);
    window.OpenFromCommand(kStartPlay, "mms://h/1.asf");
    CloseFrame();
    EXPECT_EQ(StoredAddresses(), std::vector<std::string>{"mms://h/1.asf"});
    EXPECT_EQ(test::ReadFileBytes(aside).size(), 17u);
}

TEST_F(MainFrameTest, ClosingSavesSettingsRecentAddressesAndPosition) {
    SaveSetting("Volume", 1234);
    ASSERT_TRUE(ProfileStore(ProfileStore::DefaultPath()).WriteInt("Settings", "xPos", 120));
    CMainFrame& window = Frame();
    window.OpenFromCommand(kStartPlay, "mms://h/1.asf");
    window.OpenFromCommand(kStartPlay, "mms://h/2.asf");
    window.Actions().Get(command::kOnTop)->trigger();
    EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(window.isVisible());
    CloseFrame();

    const ProfileStore stored = StoredProfile();
    EXPECT_EQ(stored.GetInt("settings", "Volume", 0), 1234);
    EXPECT_EQ(stored.GetString("FileMRUList\\url", "File0", ""), "mms://h/2.asf");
    EXPECT_EQ(stored.GetString("FileMRUList\\url", "File1", ""), "mms://h/1.asf");
    EXPECT_EQ(stored.GetInt("settings", "OnTop", 0), 1);
    EXPECT_EQ(stored.GetInt("Settings", "xPos", -1), 120);
    EXPECT_TRUE(prompt->questions.isEmpty());
}

TEST_F(MainFrameTest, ClosingAsksAboutCredentialsWhileASignalAsksNothing) {
    SaveSetting("Save Play List", 1);
    CMainFrame& window = Frame();
    window.OpenFromCommand(kStartPlay, "mms://h/1.asf");
    window.List().SetCredentials("user", "secret");

    prompt->answers = {QMessageBox::Yes};
    CloseFrame();
    ASSERT_EQ(prompt->questions.size(), 1);
    ErrorOr<IbhList> saved = IbhFile::Load(AutomaticListPath());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->password, "secret");

    // The next run keeps storing what the user agreed to store, unasked.
    CMainFrame& again = Frame();
    again.OpenFromCommand(kStartPlay, "mms://h/2.asf");
    again.ExitWithoutQuestions();
    ASSERT_TRUE(WaitFor([&] { return !again.isVisible(); }));
    EXPECT_EQ(prompt->questions.size(), 1);
    saved = IbhFile::Load(AutomaticListPath());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->records.size(), 2u);
    EXPECT_EQ(saved->password, "secret");
    frame.reset();

    // New credentials are not stored by an exit that asks nothing.
    CMainFrame& third = Frame();
    third.List().SetCredentials("other", "pw");
    third.ExitWithoutQuestions();
    saved = IbhFile::Load(AutomaticListPath());
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->password, "");
}

TEST_F(MainFrameTest, CancelKeepsTheOldListAndSavePlayListOffDeletesIt) {
    SaveSetting("Save Play List", 1);
    Frame().OpenFromCommand(kStartPlay, "mms://h/1.asf");
    CloseFrame();
    ASSERT_EQ(StoredAddresses().size(), 1u);

    CMainFrame& window = Frame();
    window.OpenFromCommand(kStartPlay, "mms://h/2.asf");
    window.List().SetCredentials("user", "secret");
    prompt->answers = {QMessageBox::Cancel};
    CloseFrame();
    EXPECT_EQ(StoredAddresses().size(), 1u);

    SaveSetting("Save Play List", 0);
    Frame();
    CloseFrame();
    EXPECT_FALSE(std::filesystem::exists(AutomaticListPath()));
}

}  // namespace
}  // namespace tapewell::gui
