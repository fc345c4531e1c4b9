// The rows' own recordings and plans from the window, as a person uses
// them: several rows recording at once from a paced tapewell-testserver,
// one of them stopped from the context menu, a schedule typed into its
// dialog, a planned start that fires, a stream choice refused and then
// taken, and two jobs whose file-exists questions take turns.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <memory>

#include "GuiTestSupport.h"
#include "app/RecordList.h"
#include "app/RecordPlans.h"
#include "app/RecordScheduler.h"
#include "gui/app/ActionTable.h"
#include "gui/app/CMainFrame.h"
#include "gui/list/CRecordListView.h"
#include "gui/list/FileExistsDialog.h"
#include "gui/list/PlanCommands.h"
#include "gui/list/RecordCommands.h"
#include "gui/list/RowPlanDialogs.h"
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

const fs::path& ClipRoot() {
    return test::RecordClips();
}

bool Matches(const char* pattern, const std::string& text) {
    return QRegularExpression(pattern).match(QString::fromStdString(text)).hasMatch();
}

std::string StoreText() {
    std::ifstream in(RecordPlans::DefaultPath());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class PlanCommandsTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        m_base = TestHome() / "recordings";
        fs::create_directories(m_base);
        const fs::path ini = ProfileStore::DefaultPath();
        fs::create_directories(ini.parent_path());
        std::ofstream(ini) << "[settings]\nbase dir=" << m_base.string()
                           << "\nConcurrent Recordings=2\n";
    }

    std::string Http(const TestServer& server, const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/" + name;
    }
    int RowOf(const std::string& address) { return List().FindAddress(address); }
    std::string RecordCell(const std::string& address) { return Cell(RowOf(address), kColRecord); }

    // Right-clicks row and picks the command from the menu that opens.
    void ChooseFromRowMenu(int row, int id) {
        ClickRow(row);
        Q_EMIT Frame().ListView()->customContextMenuRequested(CellCentre(row));
        QMenu* menu = nullptr;
        ASSERT_TRUE(WaitFor([&] {
            for (QMenu* candidate : Frame().findChildren<QMenu*>("listContextMenu")) {
                if (candidate->isVisible()) {
                    menu = candidate;
                }
            }
            return menu != nullptr;
        }));
        QAction* action = Action(id);
        ASSERT_TRUE(menu->actions().contains(action)) << action->text().toStdString();
        ASSERT_TRUE(action->isEnabled()) << action->text().toStdString();
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier,
                          menu->actionGeometry(action).center());
    }

    fs::path m_base;
};

TEST_F(PlanCommandsTest, TwoRowsRecordAtOnceAndStopRecordingEndsOnlyTheChosenOne) {
    TestServer paced(ClipRoot(), {"--rate", "realtime"});
    ASSERT_TRUE(paced.Ready());
    const std::string c1 = Http(paced, "c1.asf");
    const std::string c2 = Http(paced, "c2.asf");
    List().AddItem(c1, "", "", "");
    List().AddItem(c2, "", "", "");
    ClickRow(0);
    EXPECT_FALSE(Action(command::kStopRecording)->isEnabled()) << "nothing records yet";
    QTest::keyClick(&Frame(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(Action(command::kRecordStart)->isEnabled()) << "both slots are taken";

    // Both show their own progress at the same time.
    const char* progress = R"(^\d+:\d+\(\d+ %\)$)";
    ASSERT_TRUE(WaitFor(
        [&] { return Matches(progress, RecordCell(c1)) && Matches(progress, RecordCell(c2)); },
        kRecordMs))
        << RecordCell(c1) << " / " << RecordCell(c2);
    EXPECT_TRUE(RecordCellShowsText(RowOf(c1)));
    EXPECT_TRUE(RecordCellShowsText(RowOf(c2)));

    ChooseFromRowMenu(RowOf(c2), command::kStopRecording);
    ASSERT_TRUE(WaitFor([&] { return RecordCell(c2) == "Cancelled"; }, 3000)) << RecordCell(c2);
    EXPECT_TRUE(Frame().Recording().Scheduler().RowRecording(RowOf(c1)));
    ClickRow(RowOf(c2));
    EXPECT_FALSE(Action(command::kStopRecording)->isEnabled());
    EXPECT_TRUE(Action(command::kRecordStart)->isEnabled()) << "a slot is free again";

    ASSERT_TRUE(WaitFor([&] { return RecordCell(c1) == "Completed"; }, kRecordMs));
    EXPECT_EQ(RecordCell(c2), "Cancelled") << "nothing took the stopped row up again";
    const test::ProbeReport whole = test::Probe(m_base / "c1.asf");
    EXPECT_EQ(whole.Get("format.nb_streams"), "2");
    EXPECT_NEAR(std::atof(whole.Get("format.duration").c_str()), 4.0, 0.5);
    const test::ProbeReport part = test::Probe(m_base / "c2.asf");
    EXPECT_LT(std::atof(part.Get("format.duration").c_str()), 3.5) << "stopped early";
}

TEST_F(PlanCommandsTest, AScheduleTypedIntoItsDialogIsStoredShownAndRemoved) {
    const std::string address = "mms://127.0.0.1:1/news.asf";
    List().AddItem(address, "news", "", "");
    List().AddItem("/tmp/local.asf", "", "", "");
    ClickRow(1);
    EXPECT_FALSE(Action(command::kSchedule)->isEnabled()) << "a local file is not recorded";

    const int nextYear = QDate::currentDate().year() + 1;
    std::vector<QString> refusals;
    prompt->dialogHandler = [&](QDialog* dialog) {
        auto* schedule = qobject_cast<ScheduleDialog*>(dialog);
        EXPECT_EQ(schedule->RemoveButton(), nullptr) << "the row has no schedule yet";
        EXPECT_EQ(schedule->StartEdit()->dateTime().time().minute(), 0) << "a full hour";
        dialog->show();
        QDateTimeEdit* start = schedule->StartEdit();
        start->setFocus();
        start->setSelectedSection(QDateTimeEdit::YearSection);
        // A year that has passed is refused with a message; the dialog stays.
        QTest::keyClicks(start, "2001");
        QTest::keyClick(start, Qt::Key_Return);
        EXPECT_NE(dialog->result(), QDialog::Accepted);
        refusals.assign(prompt->messages.begin(), prompt->messages.end());

        start->setFocus();
        start->setSelectedSection(QDateTimeEdit::YearSection);
        QTest::keyClicks(start, QString::number(nextYear) + "0615" + "2130");
        QTimeEdit* duration = schedule->DurationEdit();
        duration->setFocus();
        duration->setSelectedSection(QDateTimeEdit::HourSection);
        QTest::keyClicks(duration, "0145");
        QTest::keyClick(schedule->RepeatCombo(), Qt::Key_Down);  // Daily
        QTest::keyClick(schedule->RepeatCombo(), Qt::Key_Return);
        return dialog->result();
    };
    ChooseFromRowMenu(0, command::kSchedule);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_TRUE(refusals[0].startsWith("The start 2001-")) << refusals[0].toStdString();

    const std::string when = std::to_string(nextYear) + "-06-15 21:30";
    const RecordPlan* plan = Frame().Plans().Plans().Find(address);
    ASSERT_NE(plan, nullptr);
    EXPECT_EQ(plan->start, ParseLocalTime(when));
    EXPECT_EQ(plan->durationSeconds, 105u * 60);
    EXPECT_EQ(plan->repeat, PlanRepeat::Daily);
    EXPECT_NE(StoreText().find(address), std::string::npos) << StoreText();
    EXPECT_EQ(Cell(0, kColRecord), "Scheduled " + when);
    EXPECT_TRUE(RecordCellShowsText(0));

    // The dialog opens on the stored plan, and "Remove Schedule" takes it away.
    prompt->dialogHandler = [&](QDialog* dialog) {
        auto* schedule = qobject_cast<ScheduleDialog*>(dialog);
        EXPECT_EQ(schedule->StartEdit()->dateTime().toString("yyyy-MM-dd HH:mm").toStdString(),
                  when);
        EXPECT_EQ(schedule->RepeatCombo()->currentIndex(), ScheduleDialog::kDaily);
        schedule->RemoveButton()->click();
        return dialog->result();
    };
    ChooseFromRowMenu(0, command::kSchedule);
    EXPECT_EQ(Frame().Plans().Plans().Find(address), nullptr);
    EXPECT_EQ(StoreText().find(address), std::string::npos);
    EXPECT_EQ(Cell(0, kColRecord), "");
}

TEST_F(PlanCommandsTest, AScheduleASecondAheadFiresAndTheRowEndsCompleted) {
    TestServer server(ClipRoot());
    ASSERT_TRUE(server.Ready());
    const std::string c1 = Http(server, "c1.asf");
    List().AddItem(c1, "", "", "");
    PlanCommands& plans = Frame().Plans();
    RecordPlan plan;
    plan.address = c1;
    plan.start = PlanRunner::SystemNow() + 1;
    plans.Plans().Set(plan);
    plans.Runner().PlanChanged(c1);
    EXPECT_TRUE(RecordCell(c1).starts_with("Scheduled ")) << RecordCell(c1);

    ASSERT_TRUE(WaitFor([&] { return RecordCell(c1) == "Completed"; }, kRecordMs))
        << RecordCell(c1);
    EXPECT_EQ(test::Probe(m_base / "c1.asf").Get("format.nb_streams"), "2");
    // A one-off plan is used up: nothing starts the row again.
    ASSERT_NE(plans.Plans().Find(c1), nullptr);
    EXPECT_FALSE(plans.Plans().Find(c1)->start.has_value());
}

TEST_F(PlanCommandsTest, StreamsRefusesBadNumbersKeepsAGoodChoiceAndDeletingTheRowsDropsIt) {
    const std::string c1 = "mms://127.0.0.1:1/c1.asf";
    const std::string c2 = "http://127.0.0.1:1/c2.asf";
    List().AddItem(c1, "", "", "");
    List().AddItem(c2, "", "", "");
    List().SetSelected(0, true);
    List().SetSelected(1, true);
    QString refused;
    prompt->dialogHandler = [&](QDialog* dialog) {
        auto* streams = qobject_cast<StreamsDialog*>(dialog);
        EXPECT_FALSE(streams->NumbersEdit()->isEnabled()) << "all streams at first";
        dialog->show();
        streams->ChoiceCombo()->setFocus();
        QTest::keyClick(streams->ChoiceCombo(), Qt::Key_End);  // "Stream numbers:"
        EXPECT_TRUE(streams->NumbersEdit()->isEnabled());
        QTest::keyClicks(streams->NumbersEdit(), "1,200");
        QTest::keyClick(streams->NumbersEdit(), Qt::Key_Return);
        EXPECT_NE(dialog->result(), QDialog::Accepted);
        EXPECT_TRUE(streams->ErrorLabel()->isVisible());
        refused = streams->ErrorLabel()->text();

        QTest::keyClick(streams->NumbersEdit(), Qt::Key_Backspace);  // the typed text is selected
        QTest::keyClicks(streams->NumbersEdit(), "2");
        EXPECT_FALSE(streams->ErrorLabel()->isVisible());
        QTest::keyClick(streams->NumbersEdit(), Qt::Key_Return);
        return dialog->result();
    };
    Frame().Actions().Get(command::kStreams)->trigger();
    EXPECT_TRUE(refused.contains("out of range")) << refused.toStdString();
    for (const std::string& address : {c1, c2}) {
        const RecordPlan* plan = Frame().Plans().Plans().Find(address);
        ASSERT_NE(plan, nullptr);
        EXPECT_EQ(plan->streams, "2");
        EXPECT_FALSE(plan->start.has_value());
    }

    // Deleting the rows takes their plans with them.
    Action(command::kDeleteAll)->trigger();
    EXPECT_EQ(List().RowCount(), 0);
    EXPECT_TRUE(Frame().Plans().Plans().All().empty());
    EXPECT_EQ(StoreText().find(c1), std::string::npos);
}

TEST_F(PlanCommandsTest, AnUnreadableScheduleFileIsReportedAndNeverWrittenOver) {
    const fs::path store = RecordPlans::DefaultPath();
    fs::create_directories(store.parent_path());
    const std::vector<uint8_t> damaged{'n', 'o', 't', ' ', 'a', ' ', 'p', 'l', 'a', 'n', '\n'};
    test::WriteFileBytes(store, damaged);
    Frame();
    ASSERT_TRUE(WaitFor([&] { return !prompt->messages.isEmpty(); }));
    const QString told = prompt->messages.front();
    EXPECT_TRUE(told.startsWith("The schedules could not be read")) << told.toStdString();
    const fs::path aside = store.string() + ".unreadable";
    EXPECT_TRUE(told.contains(QString::fromStdString(aside.string()))) << told.toStdString();
    EXPECT_EQ(test::ReadFileBytes(aside), damaged);
}

TEST_F(PlanCommandsTest, TwoJobsAskingAboutTheirFilesAtOnceAskOneAtATimeNamingTheirRows) {
    UiPrompt::Install(nullptr);  // the real boxes, which stay open until answered
    const std::vector<uint8_t> earlier(5000, 'x');  // files that are no recordings to go on with
    test::WriteFileBytes(m_base / "c1.asf", earlier);
    test::WriteFileBytes(m_base / "c2.asf", earlier);
    TestServer server(ClipRoot());
    ASSERT_TRUE(server.Ready());
    List().AddItem(Http(server, "c1.asf"), "c1", "", "");
    List().AddItem(Http(server, "c2.asf"), "c2", "", "");
    ClickRow(0);
    Action(command::kRecordStart)->trigger();

    const auto openBoxes = [] {
        QList<FileExistsDialog*> open;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<FileExistsDialog*>(widget); box && box->isVisible()) {
                open << box;
            }
        }
        return open;
    };
    QStringList titles;
    for (int answered = 0; answered < 2; ++answered) {
        ASSERT_TRUE(WaitFor([&] { return !openBoxes().isEmpty(); }, kRecordMs));
        if (answered == 0) {
            ASSERT_TRUE(WaitFor([&] { return List().Row(1).jobNumber != 0; }));
            QTest::qWait(200);  // time for the second job to ask too
        }
        ASSERT_EQ(openBoxes().size(), 1);
        titles << openBoxes().front()->windowTitle();
        openBoxes().front()->Button(JobPrompt::ExistsAnswer::Pass)->click();
    }
    titles.sort();
    EXPECT_EQ(titles, (QStringList{"Tapewell - c1", "Tapewell - c2"}));
    ASSERT_TRUE(WaitFor([&] { return !Frame().Recording().Scheduler().Recording(); }, kRecordMs));
    EXPECT_EQ(RecordCell(Http(server, "c1.asf")), "Cancelled");
    EXPECT_EQ(RecordCell(Http(server, "c2.asf")), "Cancelled");
    EXPECT_EQ(test::ReadFileBytes(m_base / "c1.asf"), earlier);
    EXPECT_EQ(test::ReadFileBytes(m_base / "c2.asf"), earlier);
}

}  // namespace
}  // namespace tapewell::gui
