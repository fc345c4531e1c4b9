// A recording job's questions as dialogs: asked from a worker thread (the
// UI goes on meanwhile), answered through the dialogs' own buttons, cut
// short by Cancel from any thread, and asked on the UI thread itself. The
// job notices' hop to the UI thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <future>
#include <thread>

#include "GuiTestSupport.h"
#include "gui/list/CredentialsDialog.h"
#include "gui/list/FileExistsDialog.h"
#include "gui/list/GuiJobPrompt.h"
#include "gui/list/GuiJobSink.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using Answer = JobPrompt::ExistsAnswer;
using test::WaitFor;

// Runs a question on a worker thread while the UI thread turns its loop.
template <typename F>
auto AskOnWorker(F question) {
    auto future = std::async(std::launch::async, std::move(question));
    EXPECT_TRUE(WaitFor(
        [&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return future.get();
}

// The dialog of a given type that is open now, if any.
template <typename D>
D* OpenDialog() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<D*>(widget); dialog != nullptr && dialog->isVisible()) {
            return dialog;
        }
    }
    return nullptr;
}

class GuiJobPromptTest : public ::testing::Test {
protected:
    QWidget window;
    GuiJobPrompt prompt{&window};
};

TEST_F(GuiJobPromptTest, WorkerQuestionsAreAnsweredThroughTheDialogsButtons) {
    test::ScriptedUiPrompt& ui = test::InstallScriptedPrompt();
    std::function<int(QDialog*)> next;
    ui.dialogHandler = [&](QDialog* dialog) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        EXPECT_EQ(dialog->parentWidget(), &window);
        return next(dialog);
    };

    // The file-exists box: "All" counts with "Pass" only.
    for (const Answer answer : {Answer::Pass, Answer::Quit}) {
        next = [answer](QDialog* dialog) {
            auto* box = qobject_cast<FileExistsDialog*>(dialog);
            EXPECT_EQ(box->findChild<QLabel*>("text")->text(),
                      "/rec/c1.asf \n\n File exist. Overwrite?");
            box->AllBox()->setChecked(true);
            box->Button(answer)->click();
            return box->result();
        };
        const auto choice = AskOnWorker([&] { return prompt.AskFileExists("/rec/c1.asf"); });
        EXPECT_EQ(choice.answer, answer);
        EXPECT_EQ(choice.all, answer == Answer::Pass);
    }

    // The resume box: OK continues, Cancel goes on to the file-exists box.
    for (const QMessageBox::StandardButton button : {QMessageBox::Ok, QMessageBox::Cancel}) {
        next = [button](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            EXPECT_TRUE(box->text().endsWith("File exist. Resumable?"));
            box->button(button)->click();
            return box->result();
        };
        EXPECT_EQ(AskOnWorker([&] { return prompt.AskResume("/rec/c1.asf"); }),
                  button == QMessageBox::Ok);
    }

    // The credentials dialog accepts only both fields.
    next = [](QDialog* dialog) {
        auto* login = qobject_cast<CredentialsDialog*>(dialog);
        EXPECT_EQ(login->windowTitle(), "Username and Password Required");
        EXPECT_EQ(login->findChild<QLabel*>("site")->text(), "media.example");
        EXPECT_EQ(login->UserEdit()->text(), "ann");
        EXPECT_FALSE(login->OkButton()->isEnabled());
        login->accept();  // what Enter in a field does
        EXPECT_NE(login->result(), QDialog::Accepted) << "accepted with an empty password";
        QTest::keyClicks(login->PasswordEdit(), "s3cret");
        EXPECT_TRUE(login->OkButton()->isEnabled());
        login->SaveBox()->setChecked(true);
        login->OkButton()->click();
        return login->result();
    };
    const auto credentials =
        AskOnWorker([&] { return prompt.AskCredentials("media.example", "ann", ""); });
    ASSERT_TRUE(credentials.has_value());
    EXPECT_EQ(credentials->user, "ann");
    EXPECT_EQ(credentials->password, "s3cret");
    EXPECT_TRUE(credentials->save);

    // Save As starts at the existing file and returns the one chosen.
    test::TempDir folder;
    const fs::path chosen = folder / "another.asf";
    next = [&](QDialog* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        files->selectFile(QString::fromStdString(chosen.string()));
        static_cast<QDialog*>(files)->accept();
        return files->result();
    };
    EXPECT_EQ(AskOnWorker([&] { return prompt.AskSaveAsPath(folder / "c1.asf"); }), chosen);
}

TEST_F(GuiJobPromptTest, CancelAnswersTheWaitingQuestionWithItsDefaultAndClosesTheBox) {
    // The real, non-blocking message boxes: the box stays open until Cancel.
    window.show();
    std::atomic<bool> asking{true};
    auto worker = std::async(std::launch::async, [&] {
        const JobPrompt::ExistsChoice choice = prompt.AskFileExists("/rec/c1.asf");
        asking = false;
        return choice;
    });
    ASSERT_TRUE(WaitFor([] { return OpenDialog<FileExistsDialog>() != nullptr; }));
    QTest::qWait(100);
    EXPECT_TRUE(asking) << "the worker waits while the box is open";

    std::thread([&] { prompt.Cancel(); }).join();
    ASSERT_TRUE(WaitFor([&] { return !asking; }));
    const JobPrompt::ExistsChoice choice = worker.get();
    EXPECT_EQ(choice.answer, Answer::Cancel) << "nothing is overwritten unasked";
    EXPECT_TRUE(WaitFor([] { return OpenDialog<FileExistsDialog>() == nullptr; }));

    // Every later question gets its default at once and shows nothing.
    EXPECT_TRUE(prompt.AskResume("/rec/c1.asf")) << "continuing loses nothing";
    EXPECT_EQ(prompt.AskCredentials("h", "u", ""), std::nullopt);
    EXPECT_EQ(prompt.AskSaveAsPath("/rec/c1.asf"), std::nullopt);
    EXPECT_EQ(AskOnWorker([&] { return prompt.AskFileExists("/rec/c1.asf").answer; }),
              Answer::Cancel);
    QTest::qWait(50);
    EXPECT_EQ(OpenDialog<QDialog>(), nullptr);
}

TEST_F(GuiJobPromptTest, AQuestionStillQueuedWhenCancelledNeverOpens) {
    window.show();
    auto worker = std::async(std::launch::async, [&] { return prompt.AskResume("/rec/c1.asf"); });
    // The worker has posted its question; the UI thread has not run it yet.
    QThread::msleep(100);
    prompt.Cancel();
    EXPECT_EQ(worker.wait_for(std::chrono::seconds(3)), std::future_status::ready);
    EXPECT_TRUE(worker.get());
    QTest::qWait(50);
    EXPECT_EQ(OpenDialog<QMessageBox>(), nullptr);
}

TEST_F(GuiJobPromptTest, OnTheUiThreadTheDialogIsServedWithoutAWorker) {
    // A list file's login check asks on the UI thread: the answer must come
    // without anybody else turning the event loop.
    window.show();
    QTimer::singleShot(0, [] {
        ASSERT_TRUE(WaitFor([] { return OpenDialog<CredentialsDialog>() != nullptr; }));
        CredentialsDialog* login = OpenDialog<CredentialsDialog>();
        login->UserEdit()->setText("bob");
        login->PasswordEdit()->setText("pw");
        login->OkButton()->click();
    });
    const auto credentials = prompt.AskCredentials("site", "", "");
    ASSERT_TRUE(credentials.has_value());
    EXPECT_EQ(credentials->user, "bob");
    EXPECT_FALSE(credentials->save);

    // Cancel on the UI thread while its own question is open ends it.
    QTimer::singleShot(0, [this] {
        ASSERT_TRUE(WaitFor([] { return OpenDialog<FileExistsDialog>() != nullptr; }));
        prompt.Cancel();
    });
    EXPECT_EQ(prompt.AskFileExists("/rec/x.asf").answer, Answer::Cancel);
    EXPECT_TRUE(WaitFor([] { return OpenDialog<FileExistsDialog>() == nullptr; }));
}

// Every visible dialog, for counting how many questions are open at once.
int OpenDialogCount() {
    int open = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        open += qobject_cast<QDialog*>(widget) != nullptr && widget->isVisible() ? 1 : 0;
    }
    return open;
}

TEST(GuiJobPromptTurns, AQuestionWaitingItsTurnIsAnsweredAtOnceWhenItsJobIsCancelled) {
    QWidget window;
    window.show();
    GuiJobPrompt first(&window);
    GuiJobPrompt second(&window);
    first.SetRowLabel("c1");
    auto firstAsks =
        std::async(std::launch::async, [&] { return first.AskFileExists("/r/c1.asf"); });
    ASSERT_TRUE(WaitFor([] { return OpenDialog<FileExistsDialog>() != nullptr; }));
    EXPECT_EQ(OpenDialog<FileExistsDialog>()->windowTitle(), "Tapewell - c1");
    auto secondAsks = std::async(std::launch::async, [&] { return second.AskResume("/r/c2.asf"); });
    QTest::qWait(100);  // time for the second question to reach the UI thread
    EXPECT_EQ(OpenDialogCount(), 1) << "the second question waits for its turn";

    std::thread([&] { second.Cancel(); }).join();
    ASSERT_EQ(secondAsks.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_TRUE(secondAsks.get()) << "the default answer";
    OpenDialog<FileExistsDialog>()->Button(Answer::Pass)->click();
    ASSERT_TRUE(WaitFor(
        [&] { return firstAsks.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(firstAsks.get().answer, Answer::Pass);
    QTest::qWait(50);
    EXPECT_EQ(OpenDialogCount(), 0) << "the cancelled question never shows";
}

TEST(GuiJobSink, NoticesReachTheUiThreadInOrderAndLateOnesAreDropped) {
    auto sink = std::make_unique<GuiJobSink>();
    std::vector<std::pair<int, uint16_t>> received;
    sink->SetHandler([&](int code, uint16_t job) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        received.emplace_back(code, job);
    });
    constexpr int kPerJob = 200;
    std::vector<std::thread> jobs;
    for (uint16_t job = 1; job <= 3; ++job) {
        jobs.emplace_back([&sink, job] {
            for (int code = 0; code < kPerJob; ++code) {
                sink->OnJobNotice(code, job);
            }
        });
    }
    for (std::thread& job : jobs) {
        job.join();
    }
    EXPECT_TRUE(received.empty()) << "nothing is handled on the worker";
    ASSERT_TRUE(WaitFor([&] { return received.size() == 3 * kPerJob; }));
    for (uint16_t job = 1; job <= 3; ++job) {
        int next = 0;
        for (const auto& [code, number] : received) {
            if (number == job) {
                EXPECT_EQ(code, next++);
            }
        }
    }

    // After the exit cleared the handler, and after the sink is gone.
    sink->OnJobNotice(3, 1);
    sink->SetHandler({});
    QTest::qWait(20);
    sink->OnJobNotice(3, 2);
    sink.reset();
    QTest::qWait(20);
    EXPECT_EQ(received.size(), 3u * kPerJob);
}

}  // namespace
}  // namespace tapewell::gui
