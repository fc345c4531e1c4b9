#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "gui/app/UiPrompt.h"

class QAction;
class QPoint;

namespace tapewell {
class ProfileStore;
class RecordList;
namespace gui {
class CMainFrame;
}
}  // namespace tapewell

namespace tapewell::test {

// The folder of the running test: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_CACHE_HOME and XDG_RUNTIME_DIR point into it (fresh for every test,
// removed after it).
const std::filesystem::path& TestHome();

// Answers questions from a queue (Yes when it is empty) at once, and keeps
// every text it was shown. Dialogs are handed to dialogHandler, which may
// fill them in; its return value is the dialog's result.
class ScriptedUiPrompt final : public gui::UiPrompt {
public:
    std::deque<Answer> answers;
    QStringList questions;
    QStringList messages;
    std::function<int(QDialog*)> dialogHandler;

    void Ask(QWidget* parent, const QString& text, QMessageBox::StandardButtons buttons,
             AnswerCallback done) override;
    void Tell(QWidget* parent, QMessageBox::Icon icon, const QString& text,
              std::function<void()> done) override;
    void Open(QDialog* dialog, DialogCallback done) override;
};

// Installs a fresh ScriptedUiPrompt for the rest of the test and returns it.
ScriptedUiPrompt& InstallScriptedPrompt();

// Runs the event loop until pred holds or timeoutMs pass; returns pred().
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

// c1.asf and c2.asf, each a 4 s clip with a video and an audio stream,
// large enough that a recording of it is kept; made once for the program.
const std::filesystem::path& RecordClips();

// Tests of the main window: a scripted prompt, and the window made on first
// use (after the test has written its settings), shown at its saved
// position and exposed.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest();
    ~MainWindowTest() override;
    void SetUp() override;
    void TearDown() override;

    gui::CMainFrame& Frame();
    // Closes the window as the user does and waits for the exit to finish.
    void CloseFrame();
    RecordList& List();
    QAction* Action(int id);
    std::string Cell(int row, int column);
    // The centre of row's Time cell in the list's viewport, and a click there.
    QPoint CellCentre(int row);
    void ClickRow(int row);
    // Whether row's Record cell shows text on the screen (more than the
    // cell's background colour).
    bool RecordCellShowsText(int row);

    ScriptedUiPrompt* prompt = nullptr;
    std::unique_ptr<ProfileStore> profile;
    std::unique_ptr<gui::CMainFrame> frame;
};

}  // namespace tapewell::test
