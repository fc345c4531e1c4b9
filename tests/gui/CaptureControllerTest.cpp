// The "Url Capture" toggle of the main window against stand-in capture
// helpers: shell scripts that write a pcap stream made here, or fail the way
// the real helper does. The device chosen in "Select Adapter" is "lo"; the
// stand-ins ignore it.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "GuiTestSupport.h"
#include "app/RecordList.h"
#include "capture/FrameBuilder.h"
#include "gui/app/ActionTable.h"
#include "gui/app/CMainFrame.h"
#include "gui/capture/CaptureController.h"
#include "gui/list/CRecordListView.h"
#include "gui/list/RecordCommands.h"
#include "gui/settings/CaptureSetupDialog.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Ip;

Bytes Get(const std::string& path, uint16_t port) {
    test::TcpPacket packet;
    packet.destination = Ip(10, 0, 0, 5);
    packet.destinationPort = port;
    packet.payload =
        test::Text("GET " + path + " HTTP/1.1\r\nHost: media.example\r\nAccept: */*\r\n\r\n");
    return test::TcpFrame(packet);
}

class CaptureControllerTest : public test::MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        prompt->dialogHandler = [this](QDialog* dialog) {
            auto* setup = qobject_cast<CaptureSetupDialog*>(dialog);
            EXPECT_NE(setup, nullptr);
            if (setup == nullptr) {
                return int{QDialog::Rejected};
            }
            ++m_dialogs;
            const QList<QListWidgetItem*> lo =
                setup->AdapterList()->findItems("lo", Qt::MatchExactly);
            if (!lo.isEmpty()) {
                setup->AdapterList()->setCurrentItem(lo.front());
            }
            (m_cancelSetup ? setup->CancelButton() : setup->OkButton())->click();
            return setup->result();
        };
    }

    void TearDown() override {
        MainWindowTest::TearDown();
        unsetenv("TAPEWELL_CAPTURE_HELPER");
    }

    // The frame's own controller, as the window made it.
    CaptureController& Controller() {
        auto* own = Frame().findChild<CaptureController*>();
        EXPECT_NE(own, nullptr);
        return *own;
    }

    // A stand-in helper that runs body under /bin/sh, named by the
    // environment as the real one is.
    fs::path UseHelper(const std::string& body) {
        const fs::path script = test::TestHome() / "fake-helper";
        std::ofstream(script) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(script, fs::perms::owner_all);
        setenv("TAPEWELL_CAPTURE_HELPER", script.c_str(), 1);
        return script;
    }

    // A helper that says where it runs, writes the capture and then waits,
    // as one on a quiet network does.
    void UseStreamingHelper() {
        test::WritePcap(m_pcap, {Get("/video/clip.wmv", 80), Get("/video/clip.wmv", 80),
                                 Get("/video/clip.wmv", 8080), Get("/index.html", 80)});
        UseHelper("echo $$ > '" + m_pidFile.string() + "'\ncat '" + m_pcap.string() +
                  "'\nexec sleep 30");
    }

    // The stand-in's process id, once it has written it.
    std::string HelperPid() {
        std::string pid;
        test::WaitFor([&] {
            std::ifstream in(m_pidFile);
            return static_cast<bool>(in >> pid);
        });
        fs::remove(m_pidFile);
        return pid;
    }

    static bool Gone(const std::string& pid, std::chrono::milliseconds within) {
        const auto deadline = std::chrono::steady_clock::now() + within;
        while (fs::exists("/proc/" + pid)) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    QAction* Toggle() { return Action(command::kUrlCapture); }

    const fs::path m_pcap = test::TestHome() / "traffic.pcap";
    const fs::path m_pidFile = test::TestHome() / "helper.pid";
    int m_dialogs = 0;
    bool m_cancelSetup = false;
};

TEST_F(CaptureControllerTest, AddsEachAddressOnceOnTheUiThreadAndStopsTheHelperAtOnce) {
    UseStreamingHelper();
    Controller();
    QAction* toggle = Toggle();
    EXPECT_TRUE(toggle->isEnabled());
    EXPECT_EQ(toggle->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));

    int offThread = 0;
    QObject::connect(Frame().ListView()->model(), &QAbstractItemModel::rowsInserted,
                     [&offThread] { offThread += QThread::currentThread() != qApp->thread(); });
    toggle->trigger();
    EXPECT_EQ(m_dialogs, 1);
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(Controller().IsRunning());
    const std::string pid = HelperPid();
    ASSERT_FALSE(pid.empty());

    ASSERT_TRUE(test::WaitFor([&] { return List().RowCount() == 2; }));
    QTest::qWait(200);  // the duplicate, had it been added, would be here by now
    ASSERT_EQ(List().RowCount(), 2);
    EXPECT_EQ(Cell(0, kColOriginalFile), "http://10.0.0.5/video/clip.wmv");
    EXPECT_EQ(Cell(1, kColOriginalFile), "http://10.0.0.5:8080/video/clip.wmv");
    EXPECT_EQ(offThread, 0);
    EXPECT_TRUE(toggle->isChecked()) << "the helper still runs";

    // Ctrl+Z on the window: the check goes at once, the helper within a second.
    QTest::keyClick(&Frame(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(Controller().IsRunning());
    EXPECT_TRUE(Gone(pid, std::chrono::milliseconds(1000))) << "helper " << pid;
    QTest::qWait(100);
    EXPECT_FALSE(toggle->isChecked()) << "the capture's end must not turn it back on";
    EXPECT_TRUE(toggle->isEnabled());
    EXPECT_TRUE(prompt->messages.isEmpty()) << prompt->messages.join("\n").toStdString();

    // The dialog comes at every start. A recording that starts switches
    // capture off (a port where nobody listens: the job ends at once).
    toggle->trigger();
    EXPECT_EQ(m_dialogs, 2);
    EXPECT_TRUE(toggle->isChecked());
    const std::string second = HelperPid();
    const int row = List().AddItem("http://127.0.0.1:9/none.wmv", "", "", "");
    Frame().Recording().Scheduler().RecordRow(row);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_TRUE(Gone(second, std::chrono::milliseconds(1000))) << "helper " << second;

    // Started again before the stopped capture's end has come through: that
    // late end must leave the new capture alone.
    toggle->trigger();
    const std::string third = HelperPid();
    QTest::qWait(100);
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(Controller().IsRunning());

    // Closing the window ends a capture too.
    ASSERT_TRUE(test::WaitFor([&] { return List().Row(row).jobNumber == 0; }));
    CloseFrame();
    EXPECT_TRUE(Gone(third, std::chrono::milliseconds(1000))) << "helper " << third;
}

TEST_F(CaptureControllerTest, FailuresLeaveTheToggleOffAndSayWhy) {
    Controller();
    QAction* toggle = Toggle();

    // Cancel in "Select Adapter": nothing starts, nothing is said.
    UseHelper("echo started > '" + m_pidFile.string() + "'");
    m_cancelSetup = true;
    toggle->trigger();
    QTest::qWait(100);
    EXPECT_EQ(m_dialogs, 1);
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(fs::exists(m_pidFile));
    EXPECT_TRUE(prompt->messages.isEmpty());
    m_cancelSetup = false;

    // No helper where it is looked for.
    const fs::path missing = test::TestHome() / "libexec" / "tapewell-capture-helper";
    setenv("TAPEWELL_CAPTURE_HELPER", missing.c_str(), 1);
    toggle->trigger();
    EXPECT_FALSE(toggle->isChecked());
    ASSERT_EQ(prompt->messages.size(), 1);
    EXPECT_TRUE(prompt->messages[0].contains("not installed")) << prompt->messages[0].toStdString();
    EXPECT_TRUE(prompt->messages[0].contains(QString::fromStdString(missing.string())));

    // A helper that may not capture: its own words reach the user.
    const std::string refusal =
        "You don't have permission to capture on that device; grant it with: "
        "sudo setcap cap_net_raw=ep /usr/libexec/tapewell/tapewell-capture-helper";
    UseHelper("echo \"" + refusal + "\" >&2\nexit 1");
    toggle->trigger();
    ASSERT_TRUE(test::WaitFor([&] { return prompt->messages.size() == 2; }));
    EXPECT_TRUE(prompt->messages[1].contains("sudo setcap cap_net_raw=ep"))
        << prompt->messages[1].toStdString();
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(Controller().IsRunning());
    EXPECT_EQ(m_dialogs, 3);
}

}  // namespace
}  // namespace tapewell::gui
