#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "GuiTestSupport.h"
#include "gui/list/RowEditDialogs.h"

namespace tapewell::gui {
namespace {

// Shown, as the user sees it: Return only reaches a visible default button.
template <typename Dialog>
void Show(Dialog& dialog) {
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
}

TEST(RowEditDialogs, FindReplaceButtonsEndWithTheirCodesAndReturnModifies) {
    UrlModifyDialog url("mms://h/a.asf");
    Show(url);
    QTest::keyClicks(url.FindEdit(), "h/");
    QTest::keyClicks(url.ReplaceEdit(), "other/");
    // On the box itself: the check box row is wider than box and label.
    QTest::mouseClick(url.AllRowsBox(), Qt::LeftButton, {},
                      QPoint(6, url.AllRowsBox()->height() / 2));
    QTest::mouseClick(url.ReplaceButton(), Qt::LeftButton);
    EXPECT_EQ(url.result(), UrlModifyDialog::kReplace);
    EXPECT_EQ(url.FindText(), "h/");
    EXPECT_EQ(url.ReplaceText(), "other/");
    EXPECT_TRUE(url.AllRows());
    EXPECT_EQ(url.Address(), "mms://h/a.asf");

    // Return in a field is "Modify", even after "Replace" had the focus.
    UrlModifyDialog again("mms://h/a.asf");
    Show(again);
    again.ReplaceButton()->setFocus();
    again.TextEdit()->setFocus();
    again.TextEdit()->selectAll();
    QTest::keyClicks(again.TextEdit(), "mms://new/b.asf");
    QTest::keyClick(again.TextEdit(), Qt::Key_Return);
    EXPECT_EQ(again.result(), UrlModifyDialog::kModify);
    EXPECT_EQ(again.Address(), "mms://new/b.asf");

    FileNameDialog name("clip");
    Show(name);
    name.TextEdit()->setCursorPosition(0);
    QTest::keyClicks(name.TextEdit(), "[G]");
    QTest::mouseClick(name.AppendButton(), Qt::LeftButton);
    EXPECT_EQ(name.result(), FileNameDialog::kAppend);
    EXPECT_EQ(name.Name(), "[G]clip");
    EXPECT_FALSE(name.AllRows());
}

TEST(RowEditDialogs, FileInfoNamesTheRowAndKeepsItsInfoOnlyWithARow) {
    FileInfoDialog withRow("Weekly", "clip", "note");
    Show(withRow);
    EXPECT_EQ(withRow.InfoGroup()->title(), "Info : clip");
    withRow.InfoEdit()->end(false);
    QTest::keyClicks(withRow.InfoEdit(), " more");
    withRow.TitleEdit()->clear();
    QTest::keyClicks(withRow.TitleEdit(), "Daily");
    QTest::keyClick(withRow.TitleEdit(), Qt::Key_Return);
    EXPECT_EQ(withRow.result(), QDialog::Accepted);
    EXPECT_EQ(withRow.Title(), "Daily");
    EXPECT_EQ(withRow.Info(), "note more");

    FileInfoDialog titleOnly("Weekly");
    Show(titleOnly);
    EXPECT_EQ(titleOnly.InfoGroup()->title(), "Info");
    EXPECT_FALSE(titleOnly.InfoEdit()->isEnabled());
    // Drawn: the title field's white shows on the dialog's grey.
    const QImage shot = titleOnly.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    const QPoint field = titleOnly.TitleEdit()->geometry().center();
    EXPECT_NE(shot.pixelColor(field), shot.pixelColor(1, 1));
}

}  // namespace
}  // namespace tapewell::gui
