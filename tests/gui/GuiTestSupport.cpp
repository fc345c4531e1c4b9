#include "GuiTestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include "app/RecordList.h"
#include "gui/app/ActionTable.h"
#include "gui/app/CMainFrame.h"
#include "gui/list/CRecordListView.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell::test {

void ScriptedUiPrompt::Ask(QWidget*, const QString& text, QMessageBox::StandardButtons,
                           AnswerCallback done) {
    questions << text;
    Answer answer = QMessageBox::Yes;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    }
    if (done) {
        done(answer);
    }
}

void ScriptedUiPrompt::Tell(QWidget*, QMessageBox::Icon, const QString& text,
                            std::function<void()> done) {
    messages << text;
    if (done) {
        done();
    }
}

void ScriptedUiPrompt::Open(QDialog* dialog, DialogCallback done) {
    const int result = dialogHandler ? dialogHandler(dialog) : QDialog::Rejected;
    if (done) {
        done(result);
    }
    dialog->deleteLater();
}

ScriptedUiPrompt& InstallScriptedPrompt() {
    auto prompt = std::make_unique<ScriptedUiPrompt>();
    ScriptedUiPrompt& ref = *prompt;
    gui::UiPrompt::Install(std::move(prompt));
    return ref;
}

bool WaitFor(const std::function<bool()>& pred, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired()) {
            return pred();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

const std::filesystem::path& RecordClips() {
    static TempDir root;
    static const bool made = [] {
        AsfRecipe recipe;
        recipe.seconds = 4.0;
        recipe.videoBitrate = "800k";
        const bool ok = MakeAsf(root / "c1.asf", recipe);
        std::filesystem::copy_file(root / "c1.asf", root / "c2.asf",
                                   std::filesystem::copy_options::overwrite_existing);
        return ok;
    }();
    EXPECT_TRUE(made);
    return root.Path();
}

MainWindowTest::MainWindowTest() = default;
MainWindowTest::~MainWindowTest() = default;

void MainWindowTest::SetUp() {
    prompt = &InstallScriptedPrompt();
}

void MainWindowTest::TearDown() {
    frame.reset();
}

gui::CMainFrame& MainWindowTest::Frame() {
    if (!frame) {
        profile = std::make_unique<ProfileStore>(ProfileStore::DefaultPath());
        frame = std::make_unique<gui::CMainFrame>(*profile);
        frame->ShowAtSavedPosition();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }
    return *frame;
}

void MainWindowTest::CloseFrame() {
    QSignalSpy finished(frame.get(), &gui::CMainFrame::ExitFinished);
    frame->close();
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    frame.reset();
}

RecordList& MainWindowTest::List() {
    return Frame().List();
}

QAction* MainWindowTest::Action(int id) {
    return Frame().Actions().Get(id);
}

std::string MainWindowTest::Cell(int row, int column) {
    return List().GetCellText(row, column);
}

QPoint MainWindowTest::CellCentre(int row) {
    gui::CRecordListView* view = Frame().ListView();
    return view->visualRect(view->model()->index(row, kColTime)).center();
}

void MainWindowTest::ClickRow(int row) {
    QTest::mouseClick(Frame().ListView()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      CellCentre(row));
}

bool MainWindowTest::RecordCellShowsText(int row) {
    gui::CRecordListView* view = Frame().ListView();
    const QRect cell = view->visualRect(view->model()->index(row, kColRecord));
    const QImage shot = view->viewport()->grab(cell).toImage();
    const QRgb background = shot.pixel(shot.width() - 1, shot.height() / 2);
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, y) != background) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace tapewell::test
