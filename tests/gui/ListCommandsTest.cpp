// The record list's commands in the main window, used as a person uses
// them: the menus, the context menu and the toolbar with their states, a
// double click, the open commands with their dialogs filled in, the row
// edits, and a series typed into the URL Open dialog and recorded from a
// tapewell-testserver on loopback.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

#include <filesystem>
#include <fstream>
#include <memory>

#include "GuiTestSupport.h"
#include "app/ListFiles.h"
#include "app/RecordList.h"
#include "gui/app/ActionTable.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/CRecorderApp.h"
#include "gui/list/CRecordListView.h"
#include "gui/list/CredentialsDialog.h"
#include "gui/list/ListCommands.h"
#include "gui/list/ListToolBar.h"
#include "gui/list/RecordListPane.h"
#include "gui/list/RowEditDialogs.h"
#include "gui/list/UrlOpenDialog.h"
#include "gui/manager/AsfManagerDialog.h"
#include "gui/settings/GeneralPage.h"
#include "gui/settings/PreferencesDialog.h"
#include "gui/settings/RecordPage.h"
#include "settings/ProfileStore.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using test::TestHome;
using test::TestServer;
using test::WaitFor;

constexpr int kRecordMs = 20000;

// clip01.asf to clip03.asf, 2 s each, made once for the program.
const fs::path& ClipRoot() {
    static test::TempDir root;
    static const bool made = [] {
        test::AsfRecipe recipe;
        recipe.seconds = 2.0;
        bool ok = test::MakeAsf(root / "clip01.asf", recipe);
        for (const char* name : {"clip02.asf", "clip03.asf"}) {
            fs::copy_file(root / "clip01.asf", root / name, fs::copy_options::overwrite_existing);
        }
        return ok;
    }();
    EXPECT_TRUE(made);
    return root.Path();
}

class ListCommandsTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        m_base = TestHome() / "recordings";
        fs::create_directories(m_base);
        const fs::path ini = ProfileStore::DefaultPath();
        fs::create_directories(ini.parent_path());
        std::ofstream(ini) << "[settings]\nbase dir=" << m_base.string() << "\n";
    }

    bool Enabled(int id) { return Action(id)->isEnabled(); }
    // Press, release, then the second press that arrives as a double click.
    void DoubleClickRow(int row) {
        ClickRow(row);
        QTest::mouseDClick(Frame().ListView()->viewport(), Qt::LeftButton, Qt::NoModifier,
                           CellCentre(row));
    }
    std::string LocalClip(const char* name) {
        const fs::path path = TestHome() / name;
        test::WriteFileBytes(path, std::vector<uint8_t>(2000, 0));
        return path.string();
    }
    std::string Http(const TestServer& server, const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/" + name;
    }
    // The file dialog that the next open command shows picks paths.
    void ChooseFiles(const QStringList& paths) {
        prompt->dialogHandler = [paths](QDialog* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            if (files == nullptr) {
                return int(QDialog::Rejected);
            }
            QStringList quoted;
            for (const QString& path : paths) {
                quoted << '"' + path + '"';
            }
            files->selectFile(quoted.join(' '));
            return int(QDialog::Accepted);
        };
    }

    fs::path m_base;
};

TEST_F(ListCommandsTest, EveryCommandIsInTheMenusAndTheToolbarShowsTheActions) {
    CMainFrame& window = Frame();
    // Every action is reachable from the menu bar, through its submenus.
    QList<QAction*> reachable;
    std::function<void(QMenu*)> collect = [&](QMenu* menu) {
        for (QAction* action : menu->actions()) {
            reachable << action;
            if (action->menu() != nullptr) {
                collect(action->menu());
            }
        }
    };
    for (QAction* top : window.menuBar()->actions()) {
        if (top->menu() != nullptr) {
            collect(top->menu());
        }
    }
    for (int id : {command::kNewList,        command::kOpen,
                   command::kOpenAs,         command::kUrlOpen,
                   command::kPlay,           command::kPause,
                   command::kStop,           command::kRecordStart,
                   command::kRecordStop,     command::kCheckStart,
                   command::kCheckStop,      command::kRepeat,
                   command::kBigScreen,      command::kVolumeUp,
                   command::kVolumeDown,     command::kMute,
                   command::kDelete,         command::kModifyUrl,
                   command::kModifyFileName, command::kSetAuthentication,
                   command::kEditInfo,       command::kMoveUp,
                   command::kMoveDown,       command::kCopyClipboard,
                   command::kIbhSaveUrls,    command::kIbhSaveFiles,
                   command::kIbhSaveAll,     command::kAsxSave,
                   command::kAsxSaveAs,      command::kPreferences,
                   command::kUrlCapture,     command::kDeleteAll,
                   command::kAsfManagerCut,  command::kAsfManagerCapture,
                   command::kAsfManagerInfo, command::kMinimize}) {
        ASSERT_NE(Action(id), nullptr) << id;
        EXPECT_TRUE(reachable.contains(Action(id))) << id;
    }
    // Nothing plays: Play is offered, Pause and Stop are not.
    EXPECT_TRUE(Enabled(command::kPlay));
    EXPECT_FALSE(Enabled(command::kPause));
    EXPECT_FALSE(Enabled(command::kStop));

    // The toolbar: one button per command, its tooltip the action's text,
    // and disabled buttons drawn paler than enabled ones.
    auto* bar = window.ListPane()->findChild<ListToolBar*>();
    ASSERT_NE(bar, nullptr);
    for (int id : {command::kPlay, command::kPause, command::kStop, command::kRecordStart,
                   command::kRecordStop, command::kOpenAs, command::kBigScreen, command::kRepeat,
                   command::kUrlCapture, command::kMute}) {
        QToolButton* button = bar->Button(id);
        ASSERT_NE(button, nullptr) << id;
        EXPECT_TRUE(button->isVisible()) << id;
        if (id != command::kOpenAs) {
            EXPECT_EQ(button->toolTip(), Action(id)->text()) << id;
        }
        EXPECT_EQ(button->isEnabled(), Action(id)->isEnabled()) << id;
    }
    EXPECT_EQ(bar->Button(command::kOpenAs)->toolTip(), "Open As...") << "without the mnemonic";
    const QImage open = bar->Button(command::kOpenAs)->grab().toImage();
    const QImage pause = bar->Button(command::kPause)->grab().toImage();
    const auto darkest = [](const QImage& image) {
        int least = 255;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                least = std::min(least, image.pixelColor(x, y).lightness());
            }
        }
        return least;
    };
    EXPECT_LT(darkest(open), darkest(pause)) << "an enabled icon is drawn with stronger colours";

    // A click on the toolbar's Open As runs the command.
    int dialogs = 0;
    prompt->dialogHandler = [&](QDialog*) {
        ++dialogs;
        return int(QDialog::Rejected);
    };
    QTest::mouseClick(bar->Button(command::kOpenAs), Qt::LeftButton);
    EXPECT_EQ(dialogs, 1);
}

TEST_F(ListCommandsTest, RecordButtonsFollowTheRowKindAndTheJobs) {
    const std::string local = LocalClip("clip.asf");
    const std::string playlist = (TestHome() / "list.asx").string();
    test::WriteFileBytes(playlist, {'<', 'a', 's', 'x', '>'});
    RecordList& list = List();
    list.AddItem(local, "", "", "");
    list.AddItem("mms://127.0.0.1/live", "", "", "");
    list.AddItem(playlist, "", "", "");

    struct Case {
        int row;
        bool busy;
        bool record;
        bool recordStop;
    };
    // A plain local media file cannot be recorded; while a job runs only
    // Record Stop is offered, whatever the row.
    const Case cases[] = {
        {0, false, false, false}, {0, true, false, true},  {1, false, true, false},
        {1, true, false, true},   {2, false, true, false}, {2, true, false, true},
    };
    for (const Case& c : cases) {
        list.SetJobNumber(1, c.busy ? 7 : 0);
        ClickRow(c.row);
        EXPECT_EQ(Enabled(command::kRecordStart), c.record) << c.row << " busy " << c.busy;
        EXPECT_EQ(Enabled(command::kRecordStop), c.recordStop) << c.row << " busy " << c.busy;
    }
    list.SetJobNumber(1, 0);
}

TEST_F(ListCommandsTest, MenuStatesFollowTheSelectionTheRowsAndThePlayer) {
    ListCommands& commands = Frame().Commands();
    RecordList& list = List();
    // An empty list: nothing to save, delete, move or copy.
    commands.UpdateActionStates();
    for (int id :
         {command::kIbhSaveAll, command::kIbhSaveUrls, command::kDelete, command::kDeleteAll,
          command::kMoveUp, command::kAsxSave, command::kCopyClipboard}) {
        EXPECT_FALSE(Enabled(id)) << id;
    }
    const std::string local = LocalClip("clip.asf");
    list.AddItem(local, "", "", "");
    list.AddItem("mms://h/a", "", "", "");
    list.AddItem("mms://h/b", "", "", "");
    EXPECT_TRUE(Enabled(command::kIbhSaveAll));
    EXPECT_TRUE(Enabled(command::kDeleteAll));
    EXPECT_FALSE(Enabled(command::kMoveUp)) << "nothing selected";

    ClickRow(0);  // an existing file: no address to save or copy
    EXPECT_FALSE(Enabled(command::kAsxSave));
    EXPECT_FALSE(Enabled(command::kAsxSaveAs));
    EXPECT_FALSE(Enabled(command::kCopyClipboard));
    EXPECT_TRUE(Enabled(command::kDelete));
    EXPECT_TRUE(Enabled(command::kMoveDown));

    ClickRow(1);
    EXPECT_TRUE(Enabled(command::kAsxSave));
    EXPECT_TRUE(Enabled(command::kCopyClipboard));
    list.SetJobNumber(1, 3);
    commands.UpdateActionStates();
    EXPECT_FALSE(Enabled(command::kDelete)) << "a busy row";
    list.SetJobNumber(1, 0);

    // The playing row is found by its address: a row inserted above it
    // does not make another row the playing one.
    list.SetPlayerState("mms://h/b", true);
    list.InsertItemAt(0, "mms://h/new", "");
    ClickRow(3);
    EXPECT_EQ(Cell(3, kColOriginalFile), "mms://h/b");
    EXPECT_FALSE(Enabled(command::kDelete)) << "the playing row";
    ClickRow(2);
    EXPECT_TRUE(Enabled(command::kDelete));
    list.SetPlayerState("", false);

    // A menu that opens shows the states of that moment.
    list.SetJobNumber(2, 9);
    auto* edit = Frame().menuBar()->findChild<QMenu*>("editMenu");
    ASSERT_NE(edit, nullptr);
    Q_EMIT edit->aboutToShow();
    EXPECT_FALSE(Enabled(command::kDelete));
    list.SetJobNumber(2, 0);
}

TEST_F(ListCommandsTest, TheContextMenuOpensAtTheCursorWithTheRowCommands) {
    List().AddItem("mms://h/a", "", "", "");
    List().AddItem("mms://h/b", "", "", "");
    ClickRow(1);
    CRecordListView* view = Frame().ListView();
    const QPoint at = CellCentre(1);
    Q_EMIT view->customContextMenuRequested(at);
    QMenu* menu = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        menu = Frame().findChild<QMenu*>("listContextMenu");
        return menu != nullptr && menu->isVisible();
    }));
    EXPECT_EQ(menu->pos(), view->viewport()->mapToGlobal(at));
    QStringList texts;
    for (QAction* action : menu->actions()) {
        texts << action->text();
    }
    for (const char* text : {"Play", "Record Start", "Delete", "Modify URL ", "Move UP",
                             "Copy ClipBoard(&C)", "ASX Save(&S)", "IBH Save"}) {
        EXPECT_TRUE(texts.contains(text)) << text;
    }
    // Choosing a command closes the menu and runs it.
    menu->hide();
    Action(command::kCopyClipboard)->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "mms://h/b");
}

TEST_F(ListCommandsTest, DoubleClickRecordsANetworkRowAndASecondOneCancelsIt) {
    TestServer paced(ClipRoot(), {"--rate", "realtime"});
    ASSERT_TRUE(paced.Ready());
    List().AddItem(Http(paced, "clip01.asf"), "", "", "");
    DoubleClickRow(0);
    ASSERT_TRUE(WaitFor([&] { return List().Row(0).jobNumber != 0; }, 3000));
    EXPECT_TRUE(Enabled(command::kRecordStop));
    DoubleClickRow(0);
    ASSERT_TRUE(WaitFor([&] { return Cell(0, kColRecord) == "Cancelled"; }, kRecordMs))
        << Cell(0, kColRecord);
    EXPECT_TRUE(Enabled(command::kRecordStart));
}

TEST_F(ListCommandsTest, OpenReplacesIdleRowsButKeepsBusyOnesAndOpenAsAdds) {
    RecordList& list = List();
    list.AddItem("mms://h/idle", "", "", "");
    list.AddItem("mms://h/busy", "", "", "");
    list.SetJobNumber(1, 4);  // a job that was asked to stop and has not ended yet
    const std::string first = LocalClip("first.asf");
    const std::string second = LocalClip("second.wma");
    ChooseFiles({QString::fromStdString(first), QString::fromStdString(second)});
    Action(command::kOpen)->trigger();

    ASSERT_EQ(list.RowCount(), 3);
    EXPECT_EQ(Cell(0, kColOriginalFile), "mms://h/busy");
    EXPECT_EQ(Cell(1, kColOriginalFile), first);
    EXPECT_EQ(Cell(2, kColOriginalFile), second);
    EXPECT_EQ(list.FirstSelectedRow(), 1);
    EXPECT_EQ(ProfileStore(ProfileStore::DefaultPath()).GetString("Path", "video", ""), second);
    list.SetJobNumber(0, 0);

    ChooseFiles({QString::fromStdString(LocalClip("third.asf"))});
    Action(command::kOpenAs)->trigger();
    EXPECT_EQ(list.RowCount(), 4);

    // Recent entries: the files just opened, newest first; an index past
    // the last entry opens nothing.
    Frame().Commands().OpenRecent(41);
    Frame().Commands().OpenRecent(3);
    EXPECT_EQ(list.RowCount(), 4);
    ASSERT_FALSE(Frame().Recent().Entries().empty());
    EXPECT_EQ(Frame().Recent().Entries().front(), (TestHome() / "third.asf").string());
}

TEST_F(ListCommandsTest, RowEditsGoThroughTheirDialogs) {
    RecordList& list = List();
    list.AddItem("mms://127.0.0.1/a", "a", "", "");
    list.AddItem("mms://127.0.0.1/b", "b", "", "");
    ClickRow(0);

    // "Modify" to the address another row has is refused with a message.
    prompt->dialogHandler = [](QDialog* dialog) {
        auto* edit = qobject_cast<UrlModifyDialog*>(dialog);
        edit->TextEdit()->setText("mms://127.0.0.1/b");
        QTest::mouseClick(edit->ModifyButton(), Qt::LeftButton);
        return dialog->result();
    };
    Action(command::kModifyUrl)->trigger();
    EXPECT_EQ(Cell(0, kColOriginalFile), "mms://127.0.0.1/a");
    ASSERT_EQ(prompt->messages.size(), 1);

    // "Append" puts the text before the names of the selected network rows.
    prompt->dialogHandler = [](QDialog* dialog) {
        auto* edit = qobject_cast<FileNameDialog*>(dialog);
        edit->TextEdit()->setText("news-");
        QTest::mouseClick(edit->AppendButton(), Qt::LeftButton);
        return dialog->result();
    };
    Action(command::kModifyFileName)->trigger();
    EXPECT_EQ(Cell(0, kColFile), "news-a");
    EXPECT_EQ(Cell(1, kColFile), "b");

    // "Info": the list title and the row's Info cell.
    prompt->dialogHandler = [](QDialog* dialog) {
        auto* info = qobject_cast<FileInfoDialog*>(dialog);
        info->TitleEdit()->setText("Morning");
        info->InfoEdit()->setText("weekdays");
        return int(QDialog::Accepted);
    };
    Action(command::kEditInfo)->trigger();
    EXPECT_EQ(list.Title(), "Morning");
    EXPECT_EQ(Cell(0, kColInfo), "weekdays");
    EXPECT_EQ(Frame().ListPane()->Title(), "Morning");

    // "Set Authentication..." with "save?" keeps the pair for the row's host.
    prompt->dialogHandler = [](QDialog* dialog) {
        auto* login = qobject_cast<CredentialsDialog*>(dialog);
        EXPECT_EQ(login->windowTitle(), "Set user");
        EXPECT_TRUE(login->SaveBox()->isEnabled());
        login->UserEdit()->setText("kim");
        login->PasswordEdit()->setText("s3cret");
        login->SaveBox()->setChecked(true);
        return int(QDialog::Accepted);
    };
    Action(command::kSetAuthentication)->trigger();
    EXPECT_EQ(list.UserName(), "kim");
    EXPECT_EQ(list.Password(), "s3cret");
    ProfileStore stored(ProfileStore::DefaultPath());
    EXPECT_EQ(stored.GetString("NetPassword\\127.0.0.1", "User", ""), "kim");
    EXPECT_EQ(stored.GetString("NetPassword\\127.0.0.1", "Password", ""), "s3cret");

    // A local file has no host to keep a login for.
    list.AddItem(LocalClip("clip.asf"), "", "", "");
    ClickRow(2);
    bool saveOffered = true;
    prompt->dialogHandler = [&](QDialog* dialog) {
        saveOffered = qobject_cast<CredentialsDialog*>(dialog)->SaveBox()->isEnabled();
        return int(QDialog::Rejected);
    };
    Action(command::kSetAuthentication)->trigger();
    EXPECT_FALSE(saveOffered);
    EXPECT_EQ(list.UserName(), "kim") << "Cancel changes nothing";
}

TEST_F(ListCommandsTest, AnIbhSaveOpenedAgainBringsBackRowsTitleAndCredentials) {
    RecordList& list = List();
    const std::string local = LocalClip("clip.asf");
    list.AddItem("mms://h/live", "라디오", "", "");
    list.AddItem(local, "", "", "");
    list.SetTitle("Evening");
    list.SetCredentials("kim", "pw");
    const QString saved = QString::fromStdString((TestHome() / "evening.ibh").string());
    prompt->dialogHandler = [&](QDialog* dialog) {
        qobject_cast<QFileDialog*>(dialog)->selectFile(saved);
        return int(QDialog::Accepted);
    };
    prompt->answers = {QMessageBox::Yes};  // keep the credentials in the file
    Action(command::kIbhSaveAll)->trigger();
    ASSERT_TRUE(fs::exists(saved.toStdString()));

    list.SetTitle("");
    list.SetCredentials("", "");
    ChooseFiles({saved});
    Action(command::kOpen)->trigger();
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(Cell(0, kColOriginalFile), "mms://h/live");
    EXPECT_EQ(Cell(0, kColFile), "라디오");
    EXPECT_EQ(Cell(1, kColOriginalFile), local);
    EXPECT_EQ(list.Title(), "Evening");
    EXPECT_EQ(list.UserName(), "kim");
    EXPECT_EQ(list.Password(), "pw");
}

// The ASF Manager opens on the selected row's file, on the page the
// command names; on a network row it opens empty.
TEST_F(ListCommandsTest, TheAsfManagerOpensOnTheSelectedLocalFile) {
    test::AsfRecipe recipe;
    recipe.seconds = 1.0;
    const fs::path clip = TestHome() / "clip.asf";
    ASSERT_TRUE(test::MakeAsf(clip, recipe));
    List().AddItem(clip.string(), "", "", "");
    List().AddItem("mms://h/live", "", "", "");
    QString path;
    int page = -1;
    prompt->dialogHandler = [&](QDialog* dialog) {
        auto* manager = qobject_cast<AsfManagerDialog*>(dialog);
        path = manager != nullptr ? manager->PathEdit()->text() : "?";
        page = manager != nullptr && !manager->Tabs()->isHidden() ? manager->Tabs()->currentIndex()
                                                                  : -1;
        return int(QDialog::Rejected);
    };
    ClickRow(0);
    Action(command::kAsfManagerInfo)->trigger();
    EXPECT_EQ(path, QString::fromStdString(clip.string()));
    EXPECT_EQ(page, AsfManagerDialog::kInfoPage);
    ClickRow(1);
    Action(command::kAsfManagerCut)->trigger();
    EXPECT_EQ(path, "");
}

// A list file cut inside its last row, opened by hand or as the automatic
// list: the whole rows come in and the user is told the file is damaged.
TEST_F(ListCommandsTest, ACutListFileIsOpenedWithAWarning) {
    RecordList& list = List();
    list.AddItem("mms://h/a", "", "", "");
    list.AddItem("mms://h/b", "", "", "");
    const fs::path saved = AutomaticListPath();
    fs::create_directories(saved.parent_path());
    ASSERT_TRUE(SaveListFile(list, saved, ListSaveMode::All, nullptr));
    std::vector<uint8_t> bytes = test::ReadFileBytes(saved);
    bytes.resize(bytes.size() - 100);
    const fs::path cut = TestHome() / "cut.ibh";
    test::WriteFileBytes(cut, bytes);

    ChooseFiles({QString::fromStdString(cut.string())});
    Action(command::kOpen)->trigger();
    EXPECT_EQ(list.RowCount(), 1);
    ASSERT_EQ(prompt->messages.size(), 1);
    EXPECT_TRUE(prompt->messages[0].contains("list file is truncated: 1 of 2 rows"))
        << prompt->messages[0].toStdString();
    frame.reset();

    // The next start finds its automatic list cut the same way.
    test::WriteFileBytes(saved, bytes);
    ASSERT_TRUE(
        ProfileStore(ProfileStore::DefaultPath()).WriteInt("settings", "Save Play List", 1));
    Frame();
    ASSERT_TRUE(WaitFor([&] { return prompt->messages.size() == 2; }));
    EXPECT_TRUE(prompt->messages[1].contains("1 of 2 rows")) << prompt->messages[1].toStdString();
    EXPECT_EQ(List().RowCount(), 1);
    fs::path aside = saved;
    aside += ".truncated";
    EXPECT_EQ(test::ReadFileBytes(aside), bytes) << "the damaged file is kept as it was";
}

// Under a Korean locale the open dialog also offers RealMedia and
// QuickTime files, as the Korean version always did.
TEST_F(ListCommandsTest, TheKoreanOpenFilterAddsRealMediaAndQuickTime) {
    EXPECT_FALSE(ListCommands::OpenFilter().contains("*.rm"));
    QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
    InstallTranslations(*QCoreApplication::instance());
    const QString korean = ListCommands::OpenFilter();
    EXPECT_EQ(Action(command::kUrlOpen)->text(), "URL 열기(&U)...");
    for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    QLocale::setDefault(QLocale::c());
    EXPECT_TRUE(korean.startsWith("미디어 파일 (*.asx")) << korean.toStdString();
    EXPECT_TRUE(korean.contains("*.ibh *.urh *.rm *.ram *.mov)")) << korean.toStdString();
}

// A series typed into the URL Open dialog and recorded: one row and one
// file per address, each the same bytes as the command-line recorder gets.
TEST_F(ListCommandsTest, UrlOpenRecordsASeriesOneFilePerAddress) {
    TestServer server(ClipRoot());
    ASSERT_TRUE(server.Ready());
    const std::string start = Http(server, "clip01.asf");
    prompt->dialogHandler = [&](QDialog* dialog) {
        auto* open = qobject_cast<UrlOpenDialog*>(dialog);
        open->StartCombo()->setEditText(QString::fromStdString(start));
        open->EndEdit()->setText(QString::fromStdString(Http(server, "clip03.asf")));
        QTest::mouseClick(open->RecordButton(), Qt::LeftButton);
        return dialog->result();
    };
    QTest::keyClick(&Frame(), Qt::Key_U, Qt::ControlModifier);

    ASSERT_TRUE(WaitFor(
        [&] {
            int done = 0;
            for (int row = 0; row < List().RowCount(); ++row) {
                done += Cell(row, kColRecord) == "Completed";
            }
            return done == 3 && Enabled(command::kRecordStart);
        },
        3 * kRecordMs));
    for (const char* name : {"clip01", "clip02", "clip03"}) {
        const fs::path recorded = m_base / (std::string(name) + ".asf");
        ASSERT_TRUE(fs::exists(recorded)) << recorded;
        const fs::path cliDir = TestHome() / "cli";
        const fs::path cli = cliDir / (std::string(name) + ".asf");
        fs::create_directories(cliDir);
        const std::string run = std::string(TAPEWELL_CLI_PATH) + " record --quiet --dir " +
                                cliDir.string() + " " + Http(server, std::string(name) + ".asf") +
                                " >/dev/null 2>&1";
        ASSERT_EQ(std::system(run.c_str()), 0) << run;
        EXPECT_EQ(test::ReadFileBytes(recorded), test::ReadFileBytes(cli)) << name;
    }
    ProfileStore stored(ProfileStore::DefaultPath());
    EXPECT_EQ(stored.GetString("RecentUrl\\Url", "item0", ""), start);
}

TEST_F(ListCommandsTest, PreferencesOkReplacesSavesAndAppliesTheSettingsAndCancelKeepsThem) {
    CMainFrame& window = Frame();
    ListToolBar* bar = window.ListPane()->findChild<ListToolBar*>();
    ASSERT_NE(bar, nullptr);
    const fs::path ini = ProfileStore::DefaultPath();
    ASSERT_TRUE(Enabled(command::kPreferences));
    const auto untickToolTipsAnd = [this](QDialogButtonBox::StandardButton button) {
        prompt->dialogHandler = [button](QDialog* dialog) {
            auto* sheet = qobject_cast<PreferencesDialog*>(dialog);
            if (sheet == nullptr) {
                return int(QDialog::Rejected);
            }
            sheet->General()->ToolTipBox()->setChecked(false);
            sheet->Record()->TimeLimitBox()->setChecked(true);
            sheet->Record()->MinutesSpin()->setValue(1);
            sheet->Record()->SecondsSpin()->setValue(30);
            QTest::mouseClick(sheet->Buttons()->button(button), Qt::LeftButton);
            return sheet->result();
        };
    };

    // Cancel: the live settings and the stored ones stay as they were.
    const std::vector<uint8_t> before = test::ReadFileBytes(ini);
    untickToolTipsAnd(QDialogButtonBox::Cancel);
    Action(command::kPreferences)->trigger();
    EXPECT_TRUE(window.Settings().m_toolTips);
    EXPECT_TRUE(bar->ToolTips());
    EXPECT_EQ(test::ReadFileBytes(ini), before);

    // OK: the window takes the edited settings, stores them and shows them.
    untickToolTipsAnd(QDialogButtonBox::Ok);
    Action(command::kPreferences)->trigger();
    EXPECT_FALSE(window.Settings().m_toolTips);
    EXPECT_TRUE(window.Settings().m_timeLimitOn);
    EXPECT_EQ(window.Settings().m_maxTimeSeconds, 90);
    EXPECT_FALSE(bar->ToolTips());
    ProfileStore stored(ini);
    EXPECT_EQ(stored.GetInt("settings", "Tool Tip", 1), 0);
    EXPECT_EQ(stored.GetInt("settings", "Max Time", 0), 90);
    EXPECT_TRUE(prompt->messages.isEmpty()) << prompt->messages.join('\n').toStdString();
}

TEST_F(ListCommandsTest, DeletingTheRecentFilesInThePreferencesHoldsEvenAfterCancel) {
    ChooseFiles({QString::fromStdString(LocalClip("first.asf"))});
    Action(command::kOpen)->trigger();
    ASSERT_FALSE(Frame().Recent().Entries().empty());
    prompt->answers = {QMessageBox::Yes};
    prompt->dialogHandler = [](QDialog* dialog) {
        auto* sheet = qobject_cast<PreferencesDialog*>(dialog);
        if (sheet == nullptr) {
            return int(QDialog::Rejected);
        }
        sheet->show();
        QTest::mouseClick(sheet->General()->DeleteRecentButton(), Qt::LeftButton);
        QTest::mouseClick(sheet->Buttons()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        return sheet->result();
    };
    Action(command::kPreferences)->trigger();
    EXPECT_TRUE(Frame().Recent().Entries().empty()) << prompt->questions.join('|').toStdString();
    // Nothing writes them back at exit.
    CloseFrame();
    RecentUrls stored;
    stored.Load(ProfileStore(ProfileStore::DefaultPath()));
    EXPECT_TRUE(stored.Entries().empty());
}

}  // namespace
}  // namespace tapewell::gui
