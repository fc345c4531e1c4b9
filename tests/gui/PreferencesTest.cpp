#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <filesystem>
#include <memory>
#include <string>

#include "GuiTestSupport.h"
#include "app/RecentStartUrls.h"
#include "app/RecentUrls.h"
#include "gui/settings/GeneralPage.h"
#include "gui/settings/PreferencesDialog.h"
#include "gui/settings/RecordPage.h"
#include "settings/AppSettings.h"
#include "settings/PlayerAgentHistory.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;

class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_prompt = &test::InstallScriptedPrompt();
        m_profile = std::make_unique<ProfileStore>(ProfileStore::DefaultPath());
        m_live.m_baseDirectory = (test::TestHome() / "videos").string();
        ASSERT_TRUE(m_live.Save(*m_profile));
    }

    PreferencesDialog& Open() {
        m_dialog = std::make_unique<PreferencesDialog>(m_live, *m_profile);
        m_finished = std::make_unique<QSignalSpy>(m_dialog.get(), &QDialog::finished);
        m_dialog->open();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
        return *m_dialog;
    }

    RecordPage& OpenRecord() {
        PreferencesDialog& dialog = Open();
        dialog.Tabs()->setCurrentWidget(dialog.Record());
        return *dialog.Record();
    }

    void Ok() {
        QTest::mouseClick(m_dialog->Buttons()->button(QDialogButtonBox::Ok), Qt::LeftButton);
        ASSERT_EQ(Code(), QDialog::Accepted);
    }
    void Cancel() {
        QTest::mouseClick(m_dialog->Buttons()->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        ASSERT_EQ(Code(), QDialog::Rejected);
    }
    int Code() const { return m_finished->isEmpty() ? -1 : m_finished->last().at(0).toInt(); }

    // A check box takes clicks on its indicator and text only, not on the
    // rest of its row.
    static void Tick(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
    }

    static void Type(QWidget* field, const QString& text) {
        field->setFocus();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
    }

    std::string Stored(const char* section, const std::string& name) const {
        ProfileStore fresh(ProfileStore::DefaultPath());
        return fresh.GetString(section, name, "");
    }

    test::ScriptedUiPrompt* m_prompt = nullptr;
    std::unique_ptr<ProfileStore> m_profile;
    AppSettings m_live;
    std::unique_ptr<PreferencesDialog> m_dialog;
    std::unique_ptr<QSignalSpy> m_finished;
};

TEST_F(PreferencesTest, MaxTimeIsEditedAsMinutesAndSeconds) {
    m_live.m_timeLimitOn = true;
    RecordPage& page = OpenRecord();
    EXPECT_EQ(page.MinutesSpin()->value(), 30);
    EXPECT_EQ(page.SecondsSpin()->value(), 0);
    Ok();
    EXPECT_EQ(m_dialog->Result().m_maxTimeSeconds, 1800);

    RecordPage& again = OpenRecord();
    Type(again.MinutesSpin(), "1");
    Type(again.SecondsSpin(), "30");
    Ok();
    EXPECT_EQ(m_dialog->Result().m_maxTimeSeconds, 90);

    // Seconds past 59 would carry into the minutes unseen.
    m_live.m_maxTimeSeconds = 61;
    RecordPage& typed = OpenRecord();
    EXPECT_EQ(typed.MinutesSpin()->value(), 1);
    EXPECT_EQ(typed.SecondsSpin()->value(), 1);
    Type(typed.SecondsSpin(), "75");
    Ok();
    EXPECT_EQ(m_dialog->Result().m_maxTimeSeconds, 60 + 59);
}

TEST_F(PreferencesTest, ReconnectTriesAndConcurrentRecordingsKeepTheirRanges) {
    RecordPage& page = OpenRecord();
    EXPECT_EQ(page.ReconnectSpin()->value(), 10);
    EXPECT_EQ(page.ConcurrentSpin()->value(), 1);
    // Typed past either end, a number becomes that end when the box is left.
    Type(page.ReconnectSpin(), "1001");
    Type(page.ConcurrentSpin(), "9");
    Ok();
    EXPECT_EQ(m_dialog->Result().m_reconnectTries, 1000);
    EXPECT_EQ(m_dialog->Result().m_concurrentRecordings, 8);

    RecordPage& low = OpenRecord();
    Type(low.ReconnectSpin(), "0");  // a broken live recording just ends
    Type(low.ConcurrentSpin(), "0");
    Ok();
    EXPECT_EQ(m_dialog->Result().m_reconnectTries, 0);
    EXPECT_EQ(m_dialog->Result().m_concurrentRecordings, 1);
}

TEST_F(PreferencesTest, LimitBoxesEnableTheirControls) {
    m_live.m_sizeLimitOn = false;
    m_live.m_timeLimitOn = true;
    RecordPage& page = OpenRecord();
    EXPECT_FALSE(page.MaxSizeSpin()->isEnabled());
    EXPECT_TRUE(page.MinutesSpin()->isEnabled());
    EXPECT_TRUE(page.SecondsSpin()->isEnabled());

    Tick(page.TimeLimitBox());
    Tick(page.SizeLimitBox());
    EXPECT_FALSE(page.MinutesSpin()->isEnabled());
    EXPECT_FALSE(page.SecondsSpin()->isEnabled());
    EXPECT_TRUE(page.MaxSizeSpin()->isEnabled());
    Type(page.MaxSizeSpin(), "250");
    Ok();
    EXPECT_FALSE(m_dialog->Result().m_timeLimitOn);
    EXPECT_TRUE(m_dialog->Result().m_sizeLimitOn);
    EXPECT_EQ(m_dialog->Result().m_maxSizeMiB, 250);
}

TEST_F(PreferencesTest, TheAgentComboOffersTheHistoryAndSavesATypedAgentLast) {
    ASSERT_TRUE(PlayerAgentHistory::Save(*m_profile, {"NSPlayer/4.1", "NSPlayer/7.0"}, ""));
    RecordPage& page = OpenRecord();
    QComboBox* combo = page.AgentCombo();
    // The agent in use is not in the history yet: it is added and chosen.
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentIndex(), 2);
    EXPECT_EQ(combo->currentText().toStdString(), m_live.m_playerAgent);

    Type(combo, "NSPlayer/12.0");
    Ok();
    EXPECT_EQ(m_dialog->Result().m_playerAgent, "NSPlayer/12.0");
    EXPECT_EQ(m_dialog->Result().m_agent, "rec/1.5");
    EXPECT_EQ(Stored(PlayerAgentHistory::kSection, "player0"), "NSPlayer/4.1");
    EXPECT_EQ(Stored(PlayerAgentHistory::kSection, "player2"), m_live.m_playerAgent);
    EXPECT_EQ(Stored(PlayerAgentHistory::kSection, "player3"), "NSPlayer/12.0");

    // An agent already in the history is selected, not added again.
    m_live.m_playerAgent = "NSPlayer/7.0";
    RecordPage& known = OpenRecord();
    EXPECT_EQ(known.AgentCombo()->count(), 4);
    EXPECT_EQ(known.AgentCombo()->currentIndex(), 1);
    Cancel();

    // A full history keeps a new agent while its oldest entry goes.
    std::vector<std::string> full;
    for (int i = 0; i < 50; ++i) {
        full.push_back("NSPlayer/" + std::to_string(i));
    }
    ASSERT_TRUE(PlayerAgentHistory::Save(*m_profile, full, ""));
    m_live.m_playerAgent = "NSPlayer/new";
    RecordPage& full51 = OpenRecord();
    EXPECT_EQ(full51.AgentCombo()->count(), 51);
    Ok();
    ProfileStore fresh(ProfileStore::DefaultPath());
    const std::vector<std::string> stored = PlayerAgentHistory::Load(fresh);
    ASSERT_EQ(stored.size(), 50u);
    EXPECT_EQ(stored.front(), "NSPlayer/1");
    EXPECT_EQ(stored.back(), "NSPlayer/new");
}

TEST_F(PreferencesTest, DeleteRecentFilesActsAtOnceAndOnlyOnYes) {
    ASSERT_TRUE(m_profile->WriteString(RecentStartUrls::kSection, "item0", "mms://a/x.asf"));
    ASSERT_TRUE(m_profile->WriteString(RecentUrls::kSection, "File0", "mms://a/y.asf"));
    PreferencesDialog& dialog = Open();
    QSignalSpy deleted(&dialog, &PreferencesDialog::RecentFilesDeleted);

    m_prompt->answers = {QMessageBox::No};
    QTest::mouseClick(dialog.General()->DeleteRecentButton(), Qt::LeftButton);
    ASSERT_EQ(m_prompt->questions.size(), 1);
    EXPECT_EQ(m_prompt->questions[0], "Are you sure you want to delete all recent file(url) list?");
    EXPECT_EQ(Stored(RecentStartUrls::kSection, "item0"), "mms://a/x.asf");
    EXPECT_EQ(deleted.count(), 0);

    m_prompt->answers = {QMessageBox::Yes};
    QTest::mouseClick(dialog.General()->DeleteRecentButton(), Qt::LeftButton);
    EXPECT_EQ(deleted.count(), 1);
    Cancel();
    EXPECT_EQ(Stored(RecentStartUrls::kSection, "item0"), "");
    EXPECT_EQ(Stored(RecentUrls::kSection, "File0"), "");
    EXPECT_EQ(Stored("settings", "base dir"), m_live.m_baseDirectory);
}

TEST_F(PreferencesTest, OkCreatesTheFolderAndCancelWritesNothing) {
    const fs::path nested = test::TestHome() / "new" / "deeper" / "rec";
    const auto before = test::ReadFileBytes(m_profile->Path());
    PreferencesDialog& cancelled = Open();
    Tick(cancelled.General()->ToolTipBox());
    ASSERT_FALSE(cancelled.General()->ToolTipBox()->isChecked());
    cancelled.Tabs()->setCurrentWidget(cancelled.Record());
    Type(cancelled.Record()->FolderEdit(), QString::fromStdString(nested.string()));
    Tick(cancelled.Record()->OverwriteBox());
    Cancel();
    EXPECT_FALSE(fs::exists(nested));
    EXPECT_EQ(test::ReadFileBytes(m_profile->Path()), before);

    PreferencesDialog& dialog = Open();
    Tick(dialog.General()->ToolTipBox());
    dialog.Tabs()->setCurrentWidget(dialog.Record());
    // "Browser..." starts at the current folder and puts the chosen one in.
    QString startedAt;
    m_prompt->dialogHandler = [&](QDialog* opened) {
        auto* files = qobject_cast<QFileDialog*>(opened);
        startedAt = files->directory().absolutePath();
        files->setDirectory(QString::fromStdString(test::TestHome().string()));
        return int(QDialog::Accepted);
    };
    fs::create_directories(m_live.m_baseDirectory);
    QTest::mouseClick(dialog.Record()->BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(startedAt.toStdString(), m_live.m_baseDirectory);
    EXPECT_EQ(dialog.Record()->FolderEdit()->text().toStdString(), test::TestHome().string());

    Type(dialog.Record()->FolderEdit(), QString::fromStdString(nested.string()));
    Ok();
    EXPECT_TRUE(fs::is_directory(nested));
    EXPECT_EQ(dialog.Result().m_baseDirectory, nested.string());
    EXPECT_FALSE(dialog.Result().m_toolTips);

    // A folder that cannot be made is kept as typed; a blank one is not.
    const fs::path blocked = test::TestHome() / "file" / "sub";
    test::WriteFileBytes(test::TestHome() / "file", {'x'});
    PreferencesDialog& failing = Open();
    failing.Tabs()->setCurrentWidget(failing.Record());
    Type(failing.Record()->FolderEdit(), QString::fromStdString(blocked.string()));
    Ok();
    EXPECT_EQ(failing.Result().m_baseDirectory, blocked.string());
    PreferencesDialog& blank = Open();
    blank.Tabs()->setCurrentWidget(blank.Record());
    Type(blank.Record()->FolderEdit(), "");
    Ok();
    EXPECT_EQ(blank.Result().m_baseDirectory, m_live.m_baseDirectory);
}

TEST_F(PreferencesTest, EveryPageIsDrawn) {
    PreferencesDialog& dialog = Open();
    ASSERT_EQ(dialog.Tabs()->count(), 3);
    for (int i = 0; i < 2; ++i) {
        dialog.Tabs()->setCurrentIndex(i);
        const QImage pixels = dialog.Tabs()->currentWidget()->grab().toImage();
        const QRgb first = pixels.pixel(0, 0);
        bool drawn = false;
        for (int y = 0; y < pixels.height() && !drawn; y += 2) {
            for (int x = 0; x < pixels.width() && !drawn; x += 2) {
                drawn = pixels.pixel(x, y) != first;
            }
        }
        EXPECT_TRUE(drawn) << "page " << i << " is blank";
    }
}

}  // namespace
}  // namespace tapewell::gui
