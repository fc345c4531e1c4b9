// The record list's table as a person uses it: clicks select list rows, the
// list's selection shows in the table (on its pixels too), the Delete key
// asks before deleting, drops hand on files and stream addresses, and the
// columns follow the view's width.
#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "GuiTestSupport.h"
#include "app/RecordList.h"
#include "gui/list/CRecordListView.h"
#include "gui/list/DropItems.h"
#include "gui/list/GuiListPrompt.h"
#include "gui/list/RecordListModel.h"
#include "playlist/AsxWriter.h"
#include "support/TestSupport.h"

namespace tapewell::gui {
namespace {

const QString kDeleteQuestion = QStringLiteral("Are you sure you want to delete this item ?");

class RecordListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_prompt = std::make_unique<GuiListPrompt>(nullptr);
        m_list.SetPrompt(m_prompt.get());
        m_model = std::make_unique<RecordListModel>(m_list);
        m_view = std::make_unique<CRecordListView>(m_model.get(), m_prompt.get());
        for (int i = 0; i < 6; ++i) {
            m_list.AddItem("mms://media.example/clip" + std::to_string(i), "", "1", "");
        }
        m_view->resize(1000, 400);
        m_view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void TearDown() override {
        m_view.reset();
        m_model.reset();
        m_list.SetPrompt(nullptr);
    }

    // The point a person clicks on to pick a row: inside its Time cell.
    QPoint RowPoint(int row) const {
        return m_view->visualRect(m_model->index(row, kColTime)).center();
    }

    void Click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(m_view->viewport(), Qt::LeftButton, modifiers, RowPoint(row));
    }

    std::string Address(int row) const { return m_list.GetCellText(row, kColOriginalFile); }

    std::vector<int> ListSelection() const {
        std::vector<int> rows;
        for (int row = m_list.FirstSelectedRow(); row >= 0; row = m_list.NextSelectedRow(row)) {
            rows.push_back(row);
        }
        return rows;
    }

    bool ViewSelects(int row) const {
        return m_view->selectionModel()->isRowSelected(row, QModelIndex());
    }

    // The background of a row where the empty Time cell shows it plainly.
    QRgb RowBackground(const QImage& shot, int row) const {
        const QRect cell = m_view->visualRect(m_model->index(row, kColTime));
        return shot.pixel(cell.left() + 4, cell.center().y());
    }

    // The rows the table shows selected are exactly these, and only their
    // background is the selection's.
    void ExpectViewShows(const std::vector<int>& selected) {
        const QImage shot = m_view->viewport()->grab().toImage();
        const std::set<int> wanted(selected.begin(), selected.end());
        int plainRow = -1;
        for (int row = 0; row < m_list.RowCount(); ++row) {
            EXPECT_EQ(ViewSelects(row), wanted.count(row) != 0) << "row " << row;
            if (wanted.count(row) == 0 && plainRow < 0) {
                plainRow = row;
            }
        }
        ASSERT_GE(plainRow, 0);
        for (int row = 0; row < m_list.RowCount(); ++row) {
            const bool differs = RowBackground(shot, row) != RowBackground(shot, plainRow);
            EXPECT_EQ(differs, wanted.count(row) != 0) << "pixels of row " << row;
        }
    }

    RecordList m_list;
    std::unique_ptr<GuiListPrompt> m_prompt;
    std::unique_ptr<RecordListModel> m_model;
    std::unique_ptr<CRecordListView> m_view;
};

TEST_F(RecordListViewTest, RowsHaveOneHeightAndADoubleClickEditsNothing) {
    EXPECT_EQ(m_view->rowHeight(0), m_view->rowHeight(5));
    QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, Qt::NoModifier, RowPoint(1));
    EXPECT_EQ(m_view->indexWidget(m_model->index(1, kColTime)), nullptr);
    EXPECT_FALSE(m_view->isPersistentEditorOpen(m_model->index(1, kColTime)));
}

TEST_F(RecordListViewTest, ClicksSelectListRows) {
    Click(2);
    EXPECT_EQ(ListSelection(), std::vector<int>({2}));
    Click(4, Qt::ControlModifier);
    EXPECT_EQ(ListSelection(), std::vector<int>({2, 4}));
    Click(1);
    Click(3, Qt::ShiftModifier);
    EXPECT_EQ(ListSelection(), std::vector<int>({1, 2, 3}));
    Click(3, Qt::ControlModifier);
    EXPECT_EQ(ListSelection(), std::vector<int>({1, 2}));
    Click(3);
    EXPECT_EQ(ListSelection(), std::vector<int>({3}));
}

TEST_F(RecordListViewTest, ListSelectionShowsInTheTable) {
    Click(4);
    m_list.SelectRow(1);
    ExpectViewShows({1});
    EXPECT_EQ(m_view->currentIndex().row(), 1);
    m_list.SetSelected(3, true);
    ExpectViewShows({1, 3});
    EXPECT_EQ(ListSelection(), std::vector<int>({1, 3})) << "the view wrote nothing back";
    m_list.ClearSelection();
    EXPECT_FALSE(m_view->selectionModel()->hasSelection());
}

TEST_F(RecordListViewTest, SelectionStaysRightAfterAMove) {
    const std::string moved = Address(1);
    m_list.SelectRow(1);
    m_list.MoveSelectedDown();
    EXPECT_FALSE(m_view->selectionModel()->hasSelection());
    m_list.SelectRow(2);
    ExpectViewShows({2});
    EXPECT_EQ(m_model->data(m_model->index(2, kColOriginalFile), Qt::DisplayRole)
                  .toString()
                  .toStdString(),
              moved);
    Click(0);
    Click(2, Qt::ControlModifier);
    EXPECT_EQ(ListSelection(), std::vector<int>({0, 2}));
    EXPECT_EQ(Address(2), moved);
}

TEST_F(RecordListViewTest, SelectionStaysRightAfterADeletionAbove) {
    const std::string busy = Address(3);
    m_list.SetJobNumber(3, 11);  // stays through the deletion, still selected
    Click(1);
    Click(3, Qt::ControlModifier);
    test::InstallScriptedPrompt();
    m_list.DeleteSelected();
    ASSERT_EQ(m_list.RowCount(), 6) << "no Yes was given through the window";

    m_prompt->AfterDeleteQuestion([this] { m_list.DeleteSelected(); });
    ASSERT_EQ(m_list.RowCount(), 5);
    EXPECT_EQ(Address(2), busy);
    EXPECT_EQ(ListSelection(), std::vector<int>({2}));
    ExpectViewShows({2});
    Click(4, Qt::ShiftModifier);
    EXPECT_EQ(ListSelection(), std::vector<int>({2, 3, 4}));
}

TEST_F(RecordListViewTest, DeleteKeyAsksAndDeletesOnlyTheCurrentIdleRow) {
    test::ScriptedUiPrompt& prompt = test::InstallScriptedPrompt();
    m_list.SetJobNumber(2, 5);
    Click(2);
    QTest::keyClick(m_view.get(), Qt::Key_Delete);
    EXPECT_TRUE(prompt.questions.isEmpty()) << "a busy row is not even asked about";
    EXPECT_EQ(m_list.RowCount(), 6);

    m_list.SetPlayerState(Address(3), true);
    Click(3);
    QTest::keyClick(m_view.get(), Qt::Key_Delete);
    EXPECT_TRUE(prompt.questions.isEmpty()) << "nor is the playing row";
    EXPECT_EQ(m_list.RowCount(), 6);

    prompt.answers.push_back(QMessageBox::No);
    Click(1);
    QTest::keyClick(m_view.get(), Qt::Key_Delete);
    EXPECT_EQ(prompt.questions, QStringList({kDeleteQuestion}));
    EXPECT_EQ(m_list.RowCount(), 6);

    const std::string kept = Address(0);
    const std::string gone = Address(1);
    Click(0);
    Click(1, Qt::ShiftModifier);  // two rows selected, row 1 current
    QTest::keyClick(m_view.get(), Qt::Key_Delete);
    EXPECT_EQ(prompt.questions.size(), 2);
    ASSERT_EQ(m_list.RowCount(), 5);
    EXPECT_EQ(Address(0), kept);
    EXPECT_NE(Address(1), gone);
    EXPECT_FALSE(m_prompt->ConfirmDelete()) << "the Yes ends with the deletion";
}

QPoint Centre(const QWidget& widget) {
    return widget.rect().center();
}

// What a drop holds is sorted by DropItems (below); the view hands it on
// and refuses a drag that brings nothing it opens.
TEST_F(RecordListViewTest, DropHandsOnFilesAndAddressesInOrder) {
    QSignalSpy dropped(m_view.get(), &CRecordListView::ItemsDropped);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/media/clips/second clip.wmv"), QUrl("ftp://host/skip.asf"),
                  QUrl("mms://media.example:8080/live?id=7&name=a%26b")});
    QWidget* viewport = m_view->viewport();
    QDragEnterEvent enter(Centre(*viewport), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(Centre(*viewport), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped.at(0).at(0).toStringList(),
              QStringList({"/media/clips/second clip.wmv",
                           "mms://media.example:8080/live?id=7&name=a%26b"}));
    EXPECT_EQ(m_list.RowCount(), 6) << "the main window opens them, not the view";

    QMimeData nothing;
    nothing.setUrls({QUrl("ftp://host/a.asf"), QUrl("https://host/b.asf")});
    QDragEnterEvent refused(Centre(*viewport), Qt::CopyAction, &nothing, Qt::LeftButton,
                            Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST(DropItemsTest, TextLinesCountOnlyWithoutUrls) {
    QMimeData text;
    text.setText(
        "MMS://Host/A\r\n  /home/me/clip.asf \nnotes\nhttps://host/x\nrtsp://h/s\n"
        "mmsh://h/s\nhttp:no-slashes\n");
    EXPECT_EQ(DropItems(text), QStringList({"MMS://Host/A", "/home/me/clip.asf", "rtsp://h/s"}));

    QMimeData both;
    both.setUrls({QUrl("MMSU://host/a"), QUrl("RTSP://host/b"), QUrl("mmst://host/c"),
                  QUrl("HTTP://host/d")});
    both.setText("/ignored/when/urls/exist.asf");
    EXPECT_EQ(DropItems(both).size(), 4);
    EXPECT_FALSE(DropItems(both).contains("/ignored/when/urls/exist.asf"));

    // A local file's URL is decoded; a stream address is kept as written.
    QMimeData escaped;
    escaped.setUrls({QUrl("file:///media/clips/third%20one.asf"), QUrl("mms://h/a%20b%26c.asf")});
    EXPECT_EQ(DropItems(escaped),
              QStringList({"/media/clips/third one.asf", "mms://h/a%20b%26c.asf"}));

    QMimeData empty;
    EXPECT_TRUE(DropItems(empty).isEmpty());
}

TEST_F(RecordListViewTest, ColumnsFollowTheWidthOnEveryResize) {
    for (int width : {1000, 1337, 640}) {
        m_view->resize(width, 300);
        QCoreApplication::processEvents();
        const int viewWidth = m_view->viewport()->width();
        for (int column = 0; column < kRecordColumnCount; ++column) {
            EXPECT_EQ(m_view->columnWidth(column), CRecordListView::ColumnWidth(column, viewWidth))
                << "width " << width << " column " << column;
        }
    }
}

// The window asks first; the list operation run in the answer sees that
// answer, and only for as long as it runs.
TEST(GuiListPromptTest, CredentialsAskedOnlyWhenThereAreSome) {
    test::ScriptedUiPrompt& ui = test::InstallScriptedPrompt();
    GuiListPrompt prompt(nullptr);
    RecordList list;
    std::vector<ListPrompt::Answer> seen;
    const auto save = [&] { seen.push_back(prompt.AskSaveCredentials()); };

    list.SetCredentials("user", "");
    prompt.AfterCredentialsQuestion(list, save);
    EXPECT_TRUE(ui.questions.isEmpty());
    ASSERT_EQ(seen.size(), 1u) << "the save runs at once";

    list.SetCredentials("user", "secret");
    ui.answers = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel};
    for (int i = 0; i < 3; ++i) {
        prompt.AfterCredentialsQuestion(list, save);
    }
    EXPECT_EQ(ui.questions,
              QStringList(3, QStringLiteral("Are you sure you want to save ID and Password?")));
    ASSERT_EQ(seen.size(), 4u) << "the save runs after every answer, Cancel included";
    EXPECT_EQ(seen[1], ListPrompt::Answer::Yes);
    EXPECT_EQ(seen[2], ListPrompt::Answer::No);
    EXPECT_EQ(seen[3], ListPrompt::Answer::Cancel);
    EXPECT_EQ(prompt.AskSaveCredentials(), ListPrompt::Answer::Cancel) << "answer reset";

    prompt.WithCredentialsAnswer(ListPrompt::Answer::No, save);
    EXPECT_EQ(seen.back(), ListPrompt::Answer::No);
    EXPECT_EQ(ui.questions.size(), 3);
}

TEST(GuiListPromptTest, OverwriteAnswerReachesTheWriterForThatFileOnly) {
    test::ScriptedUiPrompt& ui = test::InstallScriptedPrompt();
    GuiListPrompt prompt(nullptr);
    const std::filesystem::path path = test::TestHome() / "clip.asx";
    const std::filesystem::path other = test::TestHome() / "other.asx";
    for (const auto& file : {path, other}) {
        test::WriteFileBytes(file, {'o', 'l', 'd'});
    }
    const QString qpath = QString::fromStdString(path.string());
    ErrorOr<AsxWriteResult> result = Error::FromMessage("not run");
    ErrorOr<AsxWriteResult> otherResult = Error::FromMessage("not run");

    ui.answers = {QMessageBox::No};
    prompt.AfterOverwriteQuestion(qpath,
                                  [&] { result = WriteAsx(path, "t", "mms://h/a", &prompt); });
    EXPECT_EQ(result.value(), AsxWriteResult::Declined);
    EXPECT_EQ(test::ReadFileBytes(path).size(), 3u);
    EXPECT_EQ(ui.questions, QStringList({qpath + " \n\n File exist. Overwrite?"}));

    prompt.AfterOverwriteQuestion(qpath, [&] {
        result = WriteAsx(path, "t", "mms://h/a", &prompt);
        otherResult = WriteAsx(other, "t", "mms://h/a", &prompt);
    });
    EXPECT_EQ(result.value(), AsxWriteResult::Written);
    EXPECT_GT(test::ReadFileBytes(path).size(), 3u);
    EXPECT_EQ(otherResult.value(), AsxWriteResult::Declined) << "the Yes was for the first file";
    EXPECT_FALSE(prompt.ConfirmOverwrite(path.string())) << "answer reset";
}

}  // namespace
}  // namespace tapewell::gui
