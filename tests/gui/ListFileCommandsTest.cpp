#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QSignalSpy>
#include <QTimer>

#include <filesystem>
#include <sstream>

#include "GuiTestSupport.h"
#include "app/RecordList.h"
#include "gui/list/GuiListPrompt.h"
#include "gui/list/ListFileCommands.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using test::TestHome;

std::string ReadText(const fs::path& path) {
    const std::vector<uint8_t> bytes = test::ReadFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

void WriteText(const fs::path& path, const std::string& text) {
    test::WriteFileBytes(path, {text.begin(), text.end()});
}

std::string Show(const fs::path& path) {
    return test::Run({TAPEWELL_CLI_PATH, "list", "show", path.string()}).out;
}

// The File column of every row `tapewell-cli list show` reads from path.
std::vector<std::string> ListedNames(const fs::path& path) {
    std::istringstream lines(Show(path));
    std::string line;
    while (std::getline(lines, line) && line.rfind("File\t", 0) != 0) {
    }
    std::vector<std::string> names;
    while (std::getline(lines, line)) {
        names.push_back(line.substr(0, line.find('\t')));
    }
    return names;
}

class ListFileCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        prompt = &test::InstallScriptedPrompt();
        settings.m_baseDirectory = (TestHome() / "videos").string();
        listPrompt = new GuiListPrompt(&window);
        commands = new ListFileCommands(list, profile, settings, *listPrompt, &window);
    }

    void AddRow(const std::string& name, const std::string& address, int32_t mark) {
        RecordRow row;
        row.cells[kColFile] = name;
        row.cells[kColOriginalFile] = address;
        row.mark = mark;
        list.AppendRow(row);
    }

    // The next file dialog gets path typed in (and is accepted when accept
    // is set); the dialog's name and the file it offered are kept.
    void ChooseFile(const fs::path& path, bool accept = true) {
        prompt->dialogHandler = [this, path, accept](QDialog* dialog) {
            auto* files = static_cast<QFileDialog*>(dialog);
            dialogName = files->objectName();
            offered = files->selectedFiles().value(0).toStdString();
            files->selectFile(QString::fromStdString(path.string()));
            return int(accept ? QDialog::Accepted : QDialog::Rejected);
        };
    }

    // Runs a command and expects it to end exactly once.
    template <typename Command>
    void RunCommand(Command command) {
        QSignalSpy finished(commands, &ListFileCommands::Finished);
        command();
        EXPECT_TRUE(test::WaitFor([&] { return finished.count() >= 1; }));
        EXPECT_EQ(finished.count(), 1);
    }

    test::ScriptedUiPrompt* prompt = nullptr;
    QWidget window;
    RecordList list;
    ProfileStore profile{ProfileStore::DefaultPath()};
    AppSettings settings;
    GuiListPrompt* listPrompt = nullptr;
    ListFileCommands* commands = nullptr;
    QString dialogName;
    std::string offered;
};

TEST_F(ListFileCommandsTest, EachIbhSaveModeWritesItsRowsAndTheNextDialogStartsThere) {
    ChooseFile(TestHome() / "never");
    RunCommand([&] { commands->SaveIbh(ListSaveMode::All); });
    EXPECT_TRUE(dialogName.isEmpty()) << "an empty list has nothing to save";

    AddRow("clip", (TestHome() / "clip.wmv").string(), kMarkLocal);
    AddRow("live", "mms://h/live.asf", kMarkNetwork);
    AddRow("show", "http://h/show.asf", kMarkRecorded);
    const struct {
        ListSaveMode mode;
        std::string file;
        std::vector<std::string> names;
    } cases[] = {{ListSaveMode::OnlyUrl, "url", {"live", "show"}},
                 {ListSaveMode::OnlyFile, "file", {"clip"}},
                 {ListSaveMode::All, "all", {"clip", "live", "show"}}};
    fs::path previous;
    for (const auto& c : cases) {
        // Typed without its extension: the dialog adds ".ibh".
        ChooseFile(TestHome() / c.file);
        RunCommand([&] { commands->SaveIbh(c.mode); });
        EXPECT_EQ(dialogName, "ibhSaveDialog");
        if (!previous.empty()) {
            EXPECT_EQ(offered, previous.string());
        }
        previous = TestHome() / (c.file + ".ibh");
        EXPECT_EQ(ListedNames(previous), c.names) << c.file;
    }
    // A later start of the program offers the last list as well.
    EXPECT_EQ(ProfileStore(ProfileStore::DefaultPath()).GetString("Path", "ibh", ""),
              previous.string());
    EXPECT_TRUE(prompt->questions.isEmpty()) << "no credentials, no question";
}

TEST_F(ListFileCommandsTest, CredentialsQuestionDecidesWhatIsWritten) {
    AddRow("live", "mms://h/live.asf", kMarkNetwork);
    const fs::path path = TestHome() / "l.ibh";
    ChooseFile(path);
    RunCommand([&] { commands->SaveIbh(ListSaveMode::All); });
    const std::vector<uint8_t> before = test::ReadFileBytes(path);
    ASSERT_FALSE(before.empty());

    list.SetCredentials("kim", "pw");
    AddRow("more", "mms://h/more.asf", kMarkNetwork);
    prompt->answers = {QMessageBox::Cancel};
    RunCommand([&] { commands->SaveIbh(ListSaveMode::All); });
    ASSERT_EQ(prompt->questions, QStringList{"Are you sure you want to save ID and Password?"});
    EXPECT_EQ(test::ReadFileBytes(path), before) << "Cancel keeps the old file";

    prompt->answers = {QMessageBox::Yes};
    RunCommand([&] { commands->SaveIbh(ListSaveMode::All); });
    const std::string shown = Show(path);
    EXPECT_NE(shown.find("Credentials: stored\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("more\t"), std::string::npos) << shown;
}

TEST_F(ListFileCommandsTest, FailedWritesAreShownWithTheirReason) {
    AddRow("live", "mms://h/live.asf", kMarkNetwork);
    list.SelectRow(0);
    // Running as root, permissions would not stop the write: a file where
    // the folder should be does.
    WriteText(TestHome() / "plain", "x");
    ChooseFile(TestHome() / "plain" / "l.ibh");
    RunCommand([&] { commands->SaveIbh(ListSaveMode::All); });
    settings.m_baseDirectory = (TestHome() / "plain" / "videos").string();
    RunCommand([&] { commands->SaveAsx(); });
    ASSERT_EQ(prompt->messages.size(), 2);
    EXPECT_TRUE(prompt->messages[0].contains("plain/l.ibh:\nNot a directory"))
        << prompt->messages[0].toStdString();
    EXPECT_TRUE(prompt->messages[1].contains("videos/live.asx:\nNot a directory"))
        << prompt->messages[1].toStdString();
    EXPECT_EQ(ProfileStore(ProfileStore::DefaultPath()).GetString("Path", "ibh", ""), "");
}

TEST_F(ListFileCommandsTest, AsxSaveWritesUnderTheCleanNameAndAsksOnceBeforeReplacing) {
    AddRow("My:Show?1", "http://h/a.asf?x=1", kMarkNetwork);
    list.SelectRow(0);
    const fs::path path = TestHome() / "videos" / "My_Show_1.asx";
    RunCommand([&] { commands->SaveAsx(); });
    const std::string written = ReadText(path);
    EXPECT_NE(written.find("<TITLE>My_Show_1</TITLE>\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("<ref href=\"http://h/a.asf?x=1\"/>"), std::string::npos);

    WriteText(path, "kept");
    prompt->answers = {QMessageBox::No};
    RunCommand([&] { commands->SaveAsx(); });
    EXPECT_EQ(ReadText(path), "kept");
    ASSERT_EQ(prompt->questions.size(), 1);
    EXPECT_EQ(prompt->questions[0],
              QString::fromStdString(path.string()) + " \n\n File exist. Overwrite?");
    RunCommand([&] { commands->SaveAsx(); });  // Yes
    EXPECT_EQ(ReadText(path), written);
}

TEST_F(ListFileCommandsTest, AsxSaveAsSuggestsTheNameAndAsksOnlyOnce) {
    AddRow("", "mms://h/x.asf", kMarkNetwork);
    list.SelectRow(0);
    // An empty name has no file to go to: the save dialog opens instead.
    ChooseFile(TestHome() / "cancelled.asx", false);
    RunCommand([&] { commands->SaveAsx(); });
    EXPECT_EQ(dialogName, "asxSaveAsDialog");
    EXPECT_EQ(offered, (TestHome() / "videos" / "noname.asx").string());
    EXPECT_TRUE(fs::is_empty(TestHome() / "videos")) << "Cancel writes nothing";

    // Choosing an existing file: the dialog itself must not ask too (its
    // box would sit in a loop of its own; the timer counts and closes it).
    const fs::path chosen = TestHome() / "mine.asx";
    WriteText(chosen, "kept");
    int dialogBoxes = 0;
    prompt->dialogHandler = [&](QDialog* dialog) {
        static_cast<QFileDialog*>(dialog)->selectFile(QString::fromStdString(chosen.string()));
        QTimer::singleShot(500, dialog, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ++dialogBoxes;
                box->done(QMessageBox::Yes);
            }
        });
        dialog->accept();
        return dialog->result();
    };
    prompt->answers = {QMessageBox::No};
    RunCommand([&] { commands->SaveAsxAs(); });
    EXPECT_EQ(dialogBoxes, 0);
    EXPECT_EQ(prompt->questions.size(), 1);
    EXPECT_EQ(ReadText(chosen), "kept");
}

}  // namespace
}  // namespace tapewell::gui
