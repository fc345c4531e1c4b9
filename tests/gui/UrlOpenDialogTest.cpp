// The URL Open dialog as a person uses it: typing a start (and an end)
// address and pressing "Play", "Record" or "Preview", editing the previewed
// list and taking it with "OK". Only "Play" and "Record" remember the start
// address in the profile.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>

#include <memory>
#include <string>

#include "GuiTestSupport.h"
#include "app/RecentStartUrls.h"
#include "app/UrlSeries.h"
#include "gui/list/UrlOpenDialog.h"
#include "settings/ProfileStore.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

class UrlOpenDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_prompt = &test::InstallScriptedPrompt();
        m_profile = std::make_unique<ProfileStore>(ProfileStore::DefaultPath());
        ASSERT_TRUE(m_profile->WriteString(RecentStartUrls::kSection, "item0", "mms://old/a.asf"));
        ASSERT_TRUE(m_profile->WriteString(RecentStartUrls::kSection, "item1", "mms://old/b.asf"));
    }

    UrlOpenDialog& Open() {
        m_dialog = std::make_unique<UrlOpenDialog>(*m_profile);
        m_finished = std::make_unique<QSignalSpy>(m_dialog.get(), &QDialog::finished);
        m_dialog->open();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_dialog.get()));
        return *m_dialog;
    }

    void TypeStart(const QString& text) {
        QLineEdit* edit = m_dialog->StartCombo()->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // The code the dialog ended with, or -1 while it is open.
    int Code() const { return m_finished->isEmpty() ? -1 : m_finished->last().at(0).toInt(); }

    std::string StoredRecent(int index) const {
        ProfileStore fresh(ProfileStore::DefaultPath());
        return fresh.GetString(RecentStartUrls::kSection, "item" + std::to_string(index), "");
    }

    test::ScriptedUiPrompt* m_prompt = nullptr;
    std::unique_ptr<ProfileStore> m_profile;
    std::unique_ptr<UrlOpenDialog> m_dialog;
    std::unique_ptr<QSignalSpy> m_finished;
};

TEST_F(UrlOpenDialogTest, PlayAndRecordTakeTheSeriesAndRememberTheStart) {
    UrlOpenDialog& dialog = Open();
    EXPECT_EQ(dialog.windowTitle(), "Open");
    ASSERT_EQ(dialog.StartCombo()->count(), 2);
    EXPECT_EQ(dialog.StartCombo()->currentText(), "mms://old/a.asf");

    TypeStart("mms://host/live.asf");
    Click(dialog.PlayButton());
    EXPECT_EQ(Code(), UrlOpenDialog::kPlay);
    EXPECT_EQ(dialog.Result(), QStringList{"mms://host/live.asf"});
    EXPECT_EQ(StoredRecent(0), "mms://host/live.asf");
    EXPECT_EQ(StoredRecent(1), "mms://old/a.asf");
    EXPECT_EQ(StoredRecent(2), "mms://old/b.asf");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // An end equal to the start is a series of one; the start moves up.
    UrlOpenDialog& again = Open();
    again.StartCombo()->setCurrentIndex(2);
    QTest::keyClicks(again.EndEdit(), "mms://old/b.asf");
    Click(again.RecordButton());
    EXPECT_EQ(Code(), UrlOpenDialog::kRecord);
    EXPECT_EQ(again.Result(), QStringList{"mms://old/b.asf"});
    EXPECT_EQ(StoredRecent(0), "mms://old/b.asf");
    EXPECT_EQ(StoredRecent(1), "mms://host/live.asf");
    EXPECT_EQ(StoredRecent(3), "");
}

TEST_F(UrlOpenDialogTest, PreviewShowsTheListAppendsAndOkTakesItUpToABlankLine) {
    UrlOpenDialog& dialog = Open();
    EXPECT_TRUE(dialog.ListPart()->isHidden());
    const int closedHeight = dialog.grab().height();

    TypeStart("http://host/v/clip08.asf");
    QTest::keyClicks(dialog.EndEdit(), "http://host/v/clip12.asf");
    Click(dialog.PreviewButton());
    ASSERT_TRUE(dialog.ListPart()->isVisible());
    EXPECT_GT(dialog.grab().height(), closedHeight);
    const QString series =
        "http://host/v/clip08.asf\nhttp://host/v/clip09.asf\nhttp://host/v/clip10.asf\n"
        "http://host/v/clip11.asf\nhttp://host/v/clip12.asf\n";
    EXPECT_EQ(dialog.ListEdit()->toPlainText(), series);
    Click(dialog.PreviewButton());
    EXPECT_EQ(dialog.ListEdit()->toPlainText(), series + series);
    EXPECT_EQ(Code(), -1);

    // The user rewrites the list; the blank line ends what is taken.
    QPlainTextEdit* list = dialog.ListEdit();
    list->setFocus();
    list->selectAll();
    QTest::keyClick(list, Qt::Key_Delete);
    QTest::keyClicks(list, "a");
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClicks(list, "b");
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClicks(list, "c");
    Click(dialog.OkButton());
    EXPECT_EQ(Code(), UrlOpenDialog::kOk);
    EXPECT_EQ(dialog.Result(), (QStringList{"a", "b"}));
    EXPECT_EQ(StoredRecent(0), "mms://old/a.asf");
    EXPECT_EQ(StoredRecent(2), "");
}

TEST_F(UrlOpenDialogTest, CancelEndsWithoutResultOrProfileChange) {
    const auto before = test::ReadFileBytes(m_profile->Path());
    UrlOpenDialog& dialog = Open();
    TypeStart("mms://host/x1.asf");
    Click(dialog.PreviewButton());
    Click(dialog.CancelButton());
    EXPECT_EQ(Code(), QDialog::Rejected);
    EXPECT_TRUE(dialog.Result().isEmpty());

    UrlOpenDialog& lower = Open();
    Click(lower.PreviewButton());
    Click(lower.ListCancelButton());
    EXPECT_EQ(Code(), QDialog::Rejected);
    EXPECT_TRUE(lower.Result().isEmpty());
    EXPECT_EQ(test::ReadFileBytes(m_profile->Path()), before);
}

TEST_F(UrlOpenDialogTest, OverlongAddressesAreToldAndKeepTheDialogOpen) {
    const auto before = test::ReadFileBytes(m_profile->Path());
    UrlOpenDialog& dialog = Open();
    dialog.StartCombo()->setEditText(QString(5000, QLatin1Char('x')));
    Click(dialog.PlayButton());
    EXPECT_EQ(Code(), -1);
    ASSERT_EQ(m_prompt->messages.size(), 1);
    EXPECT_TRUE(m_prompt->messages[0].contains("4096")) << m_prompt->messages[0].toStdString();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(test::ReadFileBytes(m_profile->Path()), before);

    // Preview refuses the same way and the list stays empty.
    Click(dialog.PreviewButton());
    EXPECT_EQ(m_prompt->messages.size(), 2);
    EXPECT_TRUE(dialog.ListEdit()->toPlainText().isEmpty());

    // A 4,000-byte address is kept whole; a longer pasted line is refused.
    const QString kept = "http://h/" + QString(4000 - 9, QLatin1Char('k'));
    dialog.StartCombo()->setEditText(kept);
    Click(dialog.PreviewButton());
    EXPECT_EQ(dialog.ListEdit()->toPlainText(), kept + "\n");
    dialog.ListEdit()->moveCursor(QTextCursor::End);
    dialog.ListEdit()->insertPlainText(QString(kMaxAddressLineBytes + 1, QLatin1Char('y')));
    Click(dialog.OkButton());
    EXPECT_EQ(Code(), -1);
    ASSERT_EQ(m_prompt->messages.size(), 3);
    EXPECT_TRUE(m_prompt->messages[2].contains("Line 2")) << m_prompt->messages[2].toStdString();

    dialog.ListEdit()->setPlainText(kept);
    Click(dialog.OkButton());
    EXPECT_EQ(Code(), UrlOpenDialog::kOk);
    EXPECT_EQ(dialog.Result(), QStringList{kept});
}

}  // namespace
}  // namespace tapewell::gui
