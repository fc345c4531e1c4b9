// The "Select Adapter" dialog as a person uses it: picking a device, editing
// the file type list and the protocol switches, and leaving with OK (the
// live settings change and are saved) or Cancel (nothing changes).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <memory>
#include <string>
#include <vector>

#include "GuiTestSupport.h"
#include "gui/settings/CaptureSetupDialog.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

using Types = std::vector<std::string>;

class CaptureSetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::InstallScriptedPrompt();
        m_profile = std::make_unique<ProfileStore>(ProfileStore::DefaultPath());
        m_settings.m_fileTypes = {".wmv", ".asf"};
    }

    CaptureSetupDialog& Open() {
        std::vector<CaptureAdapter> adapters = {{"eth9", "Intel Ethernet", true, true},
                                                {"lo", "", true, true},
                                                {"wlan3", "", true, true}};
        m_dialog = std::make_unique<CaptureSetupDialog>(adapters, m_settings, *m_profile);
        m_finished = std::make_unique<QSignalSpy>(m_dialog.get(), &QDialog::finished);
        m_dialog->open();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
        return *m_dialog;
    }

    void Insert(const QString& text) {
        QLineEdit* edit = m_dialog->FileTypeEdit();
        edit->clear();
        QTest::keyClicks(edit, text);
        QTest::mouseClick(m_dialog->InsertButton(), Qt::LeftButton);
    }

    void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
    // On the box itself: a check box stretched by its layout does not
    // take clicks on the blank to the right of its text.
    void Click(QCheckBox* box) {
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(8, box->height() / 2));
    }

    void ClickAdapter(int row) {
        QListWidget* list = m_dialog->AdapterList();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list->visualItemRect(list->item(row)).center());
    }

    AppSettings Stored() const {
        AppSettings stored;
        stored.LoadValues(ProfileStore(ProfileStore::DefaultPath()));
        return stored;
    }

    AppSettings m_settings;
    std::unique_ptr<ProfileStore> m_profile;
    std::unique_ptr<CaptureSetupDialog> m_dialog;
    std::unique_ptr<QSignalSpy> m_finished;
};

TEST_F(CaptureSetupDialogTest, InsertAddsEachTypeOnceAndRefusesOnesThatCannotMatch) {
    CaptureSetupDialog& dialog = Open();
    Insert("WMV");  // already there as ".wmv"
    Insert(" Ogg ");
    Insert("ogg");
    Insert("");
    EXPECT_EQ(dialog.FileTypes(), (Types{".wmv", ".asf", ".ogg"}));
    EXPECT_TRUE(dialog.FileTypeEdit()->text().isEmpty());
    EXPECT_FALSE(dialog.RefusalLabel()->isVisible());

    for (const QString& bad : {QString("."), QString("a b"), QString(".x/y")}) {
        Insert(bad);
        EXPECT_EQ(dialog.FileTypes(), (Types{".wmv", ".asf", ".ogg"})) << bad.toStdString();
        EXPECT_TRUE(dialog.RefusalLabel()->isVisible()) << bad.toStdString();
        EXPECT_FALSE(dialog.RefusalLabel()->text().isEmpty());
        EXPECT_EQ(dialog.FileTypeEdit()->text(), bad) << "the typed text stays for correcting";
    }
    // Enter in the field inserts, and a good type takes the reason away.
    dialog.FileTypeEdit()->clear();
    QTest::keyClicks(dialog.FileTypeEdit(), ".MPG");
    QTest::keyClick(dialog.FileTypeEdit(), Qt::Key_Return);
    EXPECT_EQ(dialog.FileTypes(), (Types{".wmv", ".asf", ".ogg", ".mpg"}));
    EXPECT_FALSE(dialog.RefusalLabel()->isVisible());
    EXPECT_TRUE(m_finished->isEmpty()) << "Enter must not close the dialog";

    // Delete takes every selected entry.
    QTreeWidget* list = dialog.FileTypeList();
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(2)->setSelected(true);
    Click(dialog.DeleteButton());
    EXPECT_EQ(dialog.FileTypes(), (Types{".asf", ".mpg"}));
}

TEST_F(CaptureSetupDialogTest, StoredAdapterIsPreselectedAndOkWritesAndSavesTheChoices) {
    m_settings.m_captureDriver = "lo";
    CaptureSetupDialog& dialog = Open();
    EXPECT_EQ(dialog.AdapterList()->currentRow(), 1);
    EXPECT_EQ(dialog.AdapterList()->item(0)->text(), "eth9 — Intel Ethernet");
    EXPECT_EQ(dialog.AdapterList()->item(1)->text(), "lo");
    EXPECT_TRUE(dialog.SaveCheck()->isChecked());

    ClickAdapter(2);
    Click(dialog.MmsCheck());
    Insert("avi");
    Click(dialog.OkButton());

    ASSERT_EQ(m_finished->count(), 1);
    EXPECT_EQ(m_finished->last().at(0).toInt(), QDialog::Accepted);
    EXPECT_EQ(dialog.ChosenIndex(), 2);
    EXPECT_EQ(dialog.ChosenDevice(), "wlan3");
    for (const AppSettings& s : {m_settings, Stored()}) {
        EXPECT_EQ(s.m_captureDriver, "wlan3");
        EXPECT_TRUE(s.m_captureHttp);
        EXPECT_FALSE(s.m_captureMms);
        EXPECT_TRUE(s.m_captureRtsp);
        EXPECT_EQ(s.m_fileTypes, (Types{".wmv", ".asf", ".avi"}));
    }
}

TEST_F(CaptureSetupDialogTest, WithSaveOffTheAdapterIsForgottenAndTheFirstComesNext) {
    m_settings.m_captureDriver = "wlan3";
    Open();
    Click(m_dialog->SaveCheck());
    // Enter on the device list is OK, as in any dialog.
    QTest::keyClick(m_dialog->AdapterList(), Qt::Key_Return);
    ASSERT_EQ(m_finished->count(), 1);
    EXPECT_EQ(m_finished->last().at(0).toInt(), QDialog::Accepted);
    EXPECT_EQ(m_dialog->ChosenDevice(), "wlan3");
    EXPECT_EQ(m_settings.m_captureDriver, "");
    EXPECT_EQ(Stored().m_captureDriver, "");

    // A remembered adapter that is no longer offered selects nothing of it.
    m_settings.m_captureDriver = "gone0";
    Open();
    EXPECT_EQ(m_dialog->AdapterList()->currentRow(), 0);
    EXPECT_TRUE(m_dialog->SaveCheck()->isChecked());
    m_dialog->AdapterList()->clearSelection();
    Click(m_dialog->OkButton());
    EXPECT_EQ(m_dialog->ChosenIndex(), 0);
    EXPECT_EQ(m_settings.m_captureDriver, "eth9");
}

TEST_F(CaptureSetupDialogTest, CancelChangesNothing) {
    m_settings.m_captureDriver = "lo";
    ASSERT_TRUE(m_settings.Save(*m_profile));
    CaptureSetupDialog& dialog = Open();
    EXPECT_TRUE(dialog.SaveCheck()->isChecked());
    Click(dialog.SaveCheck());
    Click(dialog.HttpCheck());
    Click(dialog.RtspCheck());
    Insert("mkv");
    ClickAdapter(0);
    ASSERT_FALSE(dialog.SaveCheck()->isChecked() || dialog.HttpCheck()->isChecked() ||
                 dialog.RtspCheck()->isChecked());
    Click(dialog.CancelButton());

    ASSERT_EQ(m_finished->count(), 1);
    EXPECT_EQ(m_finished->last().at(0).toInt(), QDialog::Rejected);
    for (const AppSettings& s : {m_settings, Stored()}) {
        EXPECT_EQ(s.m_captureDriver, "lo");
        EXPECT_TRUE(s.m_captureHttp);
        EXPECT_TRUE(s.m_captureRtsp);
        EXPECT_EQ(s.m_fileTypes, (Types{".wmv", ".asf"}));
    }
}

}  // namespace
}  // namespace tapewell::gui
