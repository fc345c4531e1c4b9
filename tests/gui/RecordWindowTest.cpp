// Recording from the window as a person does it: rows of a tapewell-testserver
// on loopback, picked with the mouse and recorded with the actions and
// their keys; the file-exists box answered through its buttons; Record Stop,
// the address check and the exit while a box waits. The Record cells are
// checked in the model and on the screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTranslator>

#include <filesystem>
#include <fstream>
#include <memory>

#include "GuiTestSupport.h"
#include "app/IbhFile.h"
#include "app/ListFiles.h"
#include "app/RecordList.h"
#include "app/RecordScheduler.h"
#include "gui/app/ActionTable.h"
#include "gui/app/CMainFrame.h"
#include "gui/app/CRecorderApp.h"
#include "gui/list/CRecordListView.h"
#include "gui/list/FileExistsDialog.h"
#include "gui/list/RecordListModel.h"
#include "settings/ProfileStore.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using test::TestHome;
using test::TestServer;
using test::WaitFor;

constexpr int kRecordMs = 20000;  // a loaded machine records a short clip well within this

const fs::path& ClipRoot() {
    return test::RecordClips();
}

class RecordWindowTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        m_base = TestHome() / "recordings";
        fs::create_directories(m_base);
        WriteSettings("");
    }

    void WriteSettings(const std::string& more) {
        const fs::path ini = ProfileStore::DefaultPath();
        fs::create_directories(ini.parent_path());
        std::ofstream(ini) << "[settings]\nbase dir=" << m_base.string() << "\n" << more;
    }
    std::vector<std::string> Addresses() {
        std::vector<std::string> out;
        for (int row = 0; row < List().RowCount(); ++row) {
            out.push_back(Cell(row, kColOriginalFile));
        }
        return out;
    }
    std::string Http(const TestServer& server, const std::string& name) const {
        return "http://127.0.0.1:" + std::to_string(server.HttpPort()) + "/" + name;
    }
    std::string Mms(const TestServer& server, const std::string& name) const {
        return "mms://127.0.0.1:" + std::to_string(server.MmsPort()) + "/" + name;
    }

    fs::path m_base;
};

TEST_F(RecordWindowTest, RecordStartRecordsTheRowsOneAfterAnother) {
    TestServer server(ClipRoot());
    ASSERT_TRUE(server.Ready());
    const std::string c1 = Http(server, "c1.asf");
    const std::string c2 = Mms(server, "c2.asf");
    List().AddItem(c1, "", "", "");
    List().AddItem(c2, "", "", "");
    EXPECT_TRUE(Action(command::kRecordStart)->isEnabled());
    EXPECT_FALSE(Action(command::kRecordStop)->isEnabled());
    EXPECT_FALSE(RecordCellShowsText(0));

    ClickRow(0);
    QTest::keyClick(&Frame(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_FALSE(Action(command::kRecordStart)->isEnabled()) << "one recording at a time";
    EXPECT_TRUE(Action(command::kRecordStop)->isEnabled());

    ASSERT_TRUE(WaitFor(
        [&] { return List().RowCount() == 4 && Cell(2, kColRecord) == "Completed"; }, kRecordMs));
    const std::string file1 = (m_base / "c1.asf").string();
    const std::string file2 = (m_base / "c2.asf").string();
    EXPECT_EQ(Addresses(), (std::vector<std::string>{c1, file1, c2, file2}));
    for (const int row : {0, 2}) {
        EXPECT_EQ(Cell(row, kColRecord), "Completed");
        EXPECT_EQ(List().Row(row).mark, kMarkRecorded);
        EXPECT_EQ(List().Row(row).jobNumber, 0u);
        EXPECT_TRUE(RecordCellShowsText(row));
    }
    EXPECT_EQ(Cell(0, kColRecordingFile), file1);
    EXPECT_EQ(Cell(2, kColRecordingFile), file2);
    for (const std::string& file : {file1, file2}) {
        EXPECT_EQ(test::Probe(file).Get("format.nb_streams"), "2") << file;
    }
    EXPECT_TRUE(Action(command::kRecordStart)->isEnabled());
    EXPECT_FALSE(Action(command::kRecordStop)->isEnabled());
    EXPECT_TRUE(prompt->questions.isEmpty());
}

TEST_F(RecordWindowTest, PassAtTheFileExistsBoxSkipsTheRowAndTheNextOneRecords) {
    const std::vector<uint8_t> earlier(5000, 'x');  // not a recording that can go on
    test::WriteFileBytes(m_base / "c1.asf", earlier);
    TestServer server(ClipRoot());
    ASSERT_TRUE(server.Ready());
    List().AddItem(Http(server, "c1.asf"), "", "", "");
    List().AddItem(Http(server, "c2.asf"), "", "", "");
    QString asked;
    prompt->dialogHandler = [&](QDialog* dialog) {
        auto* box = qobject_cast<FileExistsDialog*>(dialog);
        if (box == nullptr) {
            return int(QDialog::Rejected);
        }
        asked = box->findChild<QLabel*>("text")->text();
        box->Button(JobPrompt::ExistsAnswer::Pass)->click();
        return box->result();
    };
    ClickRow(0);
    Action(command::kRecordStart)->trigger();

    ASSERT_TRUE(WaitFor(
        [&] { return List().RowCount() == 4 && Cell(2, kColRecord) == "Completed"; }, kRecordMs));
    EXPECT_TRUE(asked.startsWith(QString::fromStdString((m_base / "c1.asf").string())));
    EXPECT_EQ(Cell(0, kColRecord), "Cancelled");
    EXPECT_EQ(Cell(1, kColOriginalFile), (m_base / "c1.asf").string()) << "the skipped file's row";
    EXPECT_EQ(test::ReadFileBytes(m_base / "c1.asf"), earlier);
}

TEST_F(RecordWindowTest, AStoppedRowStartedAgainContinuesThroughTheResumeBox) {
    // About a second and a half for the clip: time to stop it after its
    // first part.
    TestServer paced(ClipRoot(), {"--rate", "3200"});
    ASSERT_TRUE(paced.Ready());
    List().AddItem(Http(paced, "c1.asf"), "", "", "");
    QString asked;
    prompt->dialogHandler = [&](QDialog* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        asked = box != nullptr ? box->text() : dialog->metaObject()->className();
        if (box != nullptr) {
            box->button(QMessageBox::Ok)->click();
        }
        return dialog->result();
    };
    ClickRow(0);
    Action(command::kRecordStart)->trigger();
    ASSERT_TRUE(WaitFor([&] { return Cell(0, kColSize).ends_with("K"); }, kRecordMs));
    Action(command::kRecordStop)->trigger();
    ASSERT_TRUE(WaitFor([&] { return Cell(0, kColRecord) == "Cancelled"; }, 3000));
    const auto stoppedAt = fs::file_size(m_base / "c1.asf");

    ClickRow(0);
    Action(command::kRecordStart)->trigger();
    ASSERT_TRUE(WaitFor([&] { return Cell(0, kColRecord) == "Completed"; }, kRecordMs));
    EXPECT_EQ(asked, QString::fromStdString((m_base / "c1.asf").string()) +
                         " \n\n File exist. Resumable?");
    EXPECT_GT(fs::file_size(m_base / "c1.asf"), stoppedAt);
    const test::ProbeReport whole = test::Probe(m_base / "c1.asf");
    EXPECT_EQ(whole.Get("format.nb_streams"), "2");
    EXPECT_NEAR(std::atof(whole.Get("format.duration").c_str()), 4.0, 0.5);
    EXPECT_EQ(Addresses().size(), 2u) << "the file's row is listed once";
}

TEST_F(RecordWindowTest, TheExitWhileTheFileExistsBoxWaitsEndsAtOnceAndSavesTheList) {
    WriteSettings("Save Play List=1\n");
    UiPrompt::Install(nullptr);  // the real box, which stays open
    test::WriteFileBytes(m_base / "c1.asf", std::vector<uint8_t>(5000, 'x'));
    TestServer server(ClipRoot());
    ASSERT_TRUE(server.Ready());
    const std::string c1 = Http(server, "c1.asf");
    List().AddItem(c1, "", "", "");
    ClickRow(0);
    Action(command::kRecordStart)->trigger();
    ASSERT_TRUE(WaitFor([] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<FileExistsDialog*>(widget) != nullptr && widget->isVisible()) {
                return true;
            }
        }
        return false;
    }));

    QSignalSpy finished(&Frame(), &CMainFrame::ExitFinished);
    QElapsedTimer clock;
    clock.start();
    Frame().ExitWithoutQuestions();
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }, 3000));
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(Cell(0, kColRecord), "Cancelled");
    EXPECT_EQ(List().Row(0).jobNumber, 0u);
    const ErrorOr<IbhList> saved = IbhFile::Load(AutomaticListPath());
    ASSERT_TRUE(saved.has_value());
    ASSERT_EQ(saved->records.size(), 1u);
    EXPECT_EQ(saved->records[0].address, c1);
    EXPECT_EQ(test::ReadFileBytes(m_base / "c1.asf").size(), 5000u);
}

TEST_F(RecordWindowTest, UrlCheckMarksReachableAndUnreachableRows) {
    TestServer server(ClipRoot());
    ASSERT_TRUE(server.Ready());
    List().AddItem(Http(server, "c1.asf"), "good", "", "");
    List().AddItem("http://127.0.0.1:1/none.asf", "gone", "", "");
    QMenu* check = Frame().findChild<QMenu*>("urlCheckMenu");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->actions(),
              (QList<QAction*>{Action(command::kCheckStart), Action(command::kCheckStop)}));
    EXPECT_FALSE(Action(command::kCheckStop)->isEnabled());

    Action(command::kCheckStart)->trigger();
    EXPECT_FALSE(Action(command::kCheckStart)->isEnabled());
    EXPECT_TRUE(Action(command::kCheckStop)->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return Action(command::kCheckStart)->isEnabled(); }, kRecordMs));
    EXPECT_EQ(Cell(0, kColRecord), "Ok");
    EXPECT_EQ(Cell(1, kColRecord), "Error");
    EXPECT_EQ(Cell(1, kColFile), "(x)gone");
    EXPECT_FALSE(Action(command::kCheckStop)->isEnabled());
}

// Takes the addresses the program hands to the browser.
class BrowserStandIn : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
    Q_INVOKABLE void Open(const QUrl& url) { opened << url; }
};

TEST_F(RecordWindowTest, SearchAndLinkRowsOpenInTheBrowserInsteadOfRecording) {
    BrowserStandIn browser;
    QDesktopServices::setUrlHandler("https", &browser, "Open");
    QDesktopServices::setUrlHandler("http", &browser, "Open");
    List().AddItem("radio 5&6", "<G>radio", "", "");
    List().AddItem("http://127.0.0.1:1/page?a=%2F", "[E]page", "", "");
    for (const int row : {0, 1}) {
        ClickRow(row);
        Action(command::kRecordStart)->trigger();
    }
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("http");
    ASSERT_EQ(browser.opened.size(), 2);
    EXPECT_EQ(browser.opened[0].toEncoded().toStdString(), RecordScheduler::SearchUrl("radio 5&6"));
    EXPECT_EQ(browser.opened[1].toEncoded(), "http://127.0.0.1:1/page?a=%2F");
    EXPECT_TRUE(Action(command::kRecordStart)->isEnabled());
}

// Removes the Korean translators again so that later tests read English.
class KoreanScope {
public:
    KoreanScope() {
        QLocale::setDefault(QLocale(QLocale::Korean, QLocale::SouthKorea));
        InstallTranslations(*QCoreApplication::instance());
    }
    ~KoreanScope() {
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QLocale::setDefault(QLocale::c());
    }
};

// In Korean: the fast first row completes, the paced second one is stopped
// while it shows its progress.
TEST_F(RecordWindowTest, RecordStopCancelsThePacedRowAndKoreanShowsBothEnds) {
    KoreanScope korean;
    TestServer fast(ClipRoot());
    TestServer paced(ClipRoot(), {"--rate", "realtime"});
    ASSERT_TRUE(fast.Ready() && paced.Ready());
    List().AddItem(Http(fast, "c1.asf"), "", "", "");
    List().AddItem(Mms(paced, "c2.asf"), "", "", "");
    List().AddItem(Http(fast, "c2.asf"), "after", "", "");
    EXPECT_EQ(Action(command::kRecordStart)->text(), "녹화 시작");
    ClickRow(0);
    Action(command::kRecordStart)->trigger();

    const auto matches = [](const char* pattern, const std::string& text) {
        return QRegularExpression(pattern).match(QString::fromStdString(text)).hasMatch();
    };
    ASSERT_TRUE(WaitFor(
        [&] {
            return List().RowCount() >= 3 && matches(R"(^\d+:\d+\(\d+ %\)$)", Cell(2, kColRecord));
        },
        kRecordMs));
    EXPECT_EQ(Cell(0, kColRecord), "완료");
    EXPECT_TRUE(matches(R"(^\d+K$)", Cell(2, kColSize))) << Cell(2, kColSize);

    QTest::keyClick(&Frame(), Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(WaitFor([&] { return Cell(2, kColRecord) == "취소"; }, 3000))
        << Cell(2, kColRecord);
    EXPECT_TRUE(Action(command::kRecordStart)->isEnabled());
    EXPECT_FALSE(Action(command::kRecordStop)->isEnabled());
    EXPECT_TRUE(RecordCellShowsText(0));
    EXPECT_TRUE(RecordCellShowsText(2));
    QTest::qWait(300);
    EXPECT_EQ(Cell(List().RowCount() - 1, kColRecord), "") << "nothing follows a stop";
}

}  // namespace
}  // namespace tapewell::gui

#include "RecordWindowTest.moc"
