// The record list model: it must follow every list operation exactly (rows,
// cells, marks) through the signals a Qt view relies on, and show the texts,
// icons, alignments and tooltips of the list.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QImage>
#include <QSignalSpy>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "app/RecordList.h"
#include "app/ScriptedListPrompt.h"
#include "gui/list/CRecordListView.h"
#include "gui/list/RecordListModel.h"

namespace tapewell::gui {
namespace {

using Cells = std::array<QString, kRecordColumnCount>;

struct MirrorRow {
    Cells cells;
    qint64 iconKey = 0;
};

// A copy of the model kept up to date only from the model's signals, as a
// view's would be: a missing dataChanged or a wrong move shows up as a
// difference from the list.
class ModelMirror {
public:
    explicit ModelMirror(const RecordListModel& model) : m_model(model) {
        for (int row = 0; row < model.rowCount(); ++row) {
            m_rows.push_back(Read(row));
        }
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [this](const QModelIndex&, int first, int last) {
                             for (int row = first; row <= last; ++row) {
                                 m_rows.insert(m_rows.begin() + row, Read(row));
                             }
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                         [this](const QModelIndex&, int first, int last) {
                             m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsMoved,
                         [this](const QModelIndex&, int first, int last, const QModelIndex&,
                                int before) { Move(first, last, before); });
        QObject::connect(&model, &QAbstractItemModel::dataChanged,
                         [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                             Refresh(topLeft, bottomRight);
                         });
    }

    const std::vector<MirrorRow>& Rows() const { return m_rows; }

private:
    MirrorRow Read(int row) const {
        MirrorRow mirror;
        for (int column = 0; column < kRecordColumnCount; ++column) {
            mirror.cells[static_cast<size_t>(column)] =
                m_model.data(m_model.index(row, column), Qt::DisplayRole).toString();
        }
        mirror.iconKey = m_model.data(m_model.index(row, kColFile), Qt::DecorationRole)
                             .value<QIcon>()
                             .cacheKey();
        return mirror;
    }

    // Only the cells the signal names: a signal for the wrong cell leaves
    // the mirror behind the list.
    void Refresh(const QModelIndex& topLeft, const QModelIndex& bottomRight) {
        for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
            MirrorRow& mirror = m_rows[static_cast<size_t>(row)];
            const MirrorRow fresh = Read(row);
            for (int column = topLeft.column(); column <= bottomRight.column(); ++column) {
                mirror.cells[static_cast<size_t>(column)] =
                    fresh.cells[static_cast<size_t>(column)];
            }
            if (topLeft.column() == kColFile) {
                mirror.iconKey = fresh.iconKey;
            }
        }
    }

    // Qt's move: rows first..last go before row `before` of the old order.
    void Move(int first, int last, int before) {
        std::vector<MirrorRow> moving(m_rows.begin() + first, m_rows.begin() + last + 1);
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        const int at = before > last ? before - (last - first + 1) : before;
        m_rows.insert(m_rows.begin() + at, moving.begin(), moving.end());
    }

    const RecordListModel& m_model;
    std::vector<MirrorRow> m_rows;
};

QString Expected(const RecordList& list, int row, int column) {
    return QString::fromStdString(list.Row(row).cells[static_cast<size_t>(column)]);
}

// Every cell and mark the model shows, and the mirror holds, is the list's.
void ExpectSameAsList(const RecordList& list, const RecordListModel& model,
                      const ModelMirror& mirror, int step) {
    ASSERT_EQ(model.rowCount(), list.RowCount()) << "step " << step;
    ASSERT_EQ(static_cast<int>(mirror.Rows().size()), list.RowCount()) << "step " << step;
    for (int row = 0; row < list.RowCount(); ++row) {
        const MirrorRow& seen = mirror.Rows()[static_cast<size_t>(row)];
        for (int column = 0; column < kRecordColumnCount; ++column) {
            const QString expected = Expected(list, row, column);
            ASSERT_EQ(model.data(model.index(row, column), Qt::DisplayRole).toString(), expected)
                << "step " << step << " row " << row << " column " << column;
            ASSERT_EQ(seen.cells[static_cast<size_t>(column)], expected)
                << "step " << step << " row " << row << " column " << column;
        }
        ASSERT_EQ(seen.iconKey, model.MarkIcon(list.Row(row).mark).cacheKey())
            << "step " << step << " row " << row;
    }
}

class RandomListOperations {
public:
    RandomListOperations(RecordList& list, uint32_t seed) : m_list(list), m_random(seed) {}

    void RunOne() {
        const int kind = Pick(0, 99);
        if (kind < 20) {
            m_list.AddItem(Address(), Pick(0, 1) ? "" : "item " + std::to_string(Pick(0, 99)),
                           Pick(0, 1) ? "" : "1", "");
        } else if (kind < 35) {
            m_list.InsertItemAt(Pick(-2, m_list.RowCount() + 2), Address(), "");
        } else if (kind < 55) {
            m_list.SetCellText(AnyRow(), Pick(-1, kRecordColumnCount),
                               "텍스트 " + std::to_string(Pick(0, 999)));
        } else if (kind < 63) {
            static constexpr std::array<int32_t, 3> kMarks{kMarkLocal, kMarkNetwork, kMarkRecorded};
            m_list.SetMark(AnyRow(), kMarks[static_cast<size_t>(Pick(0, 2))]);
        } else if (kind < 70) {
            m_list.SetJobNumber(AnyRow(), Pick(0, 2) == 0 ? static_cast<uint32_t>(Pick(1, 9)) : 0);
        } else if (kind < 85) {
            SelectSome();
            Pick(0, 1) ? m_list.MoveSelectedUp() : m_list.MoveSelectedDown();
        } else if (kind < 95) {
            SelectSome();
            m_list.DeleteSelected();
        } else if (kind < 97) {
            m_list.SetTitle("title " + std::to_string(Pick(0, 9)));
            m_list.SetPlayerState(m_list.GetCellText(AnyRow(), kColOriginalFile), Pick(0, 1) == 1);
        } else {
            m_list.NewList();
        }
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    int AnyRow() { return Pick(-1, m_list.RowCount()); }
    std::string Address() {
        const int number = Pick(0, 60);
        return Pick(0, 1) ? "/nonexistent/clip" + std::to_string(number) + ".asf"
                          : "mms://media.example/live" + std::to_string(number);
    }
    void SelectSome() {
        m_list.ClearSelection();
        for (int row = 0; row < m_list.RowCount(); ++row) {
            m_list.SetSelected(row, Pick(0, 3) == 0);
        }
    }

    RecordList& m_list;
    std::mt19937 m_random;
};

TEST(RecordListModelTest, FollowsRandomListOperationsExactly) {
    test::ScriptedListPrompt prompt;
    RecordList list(&prompt);
    RecordListModel model(list);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    ModelMirror mirror(model);
    QSignalSpy moves(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
    RandomListOperations operations(list, 20240611u);
    for (int step = 0; step < 500; ++step) {
        operations.RunOne();
        ExpectSameAsList(list, model, mirror, step);
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
    }
    // The run must have exercised what it is meant to.
    EXPECT_GT(prompt.deleteQuestions, 0);
    EXPECT_GT(moves.count(), 10);
    EXPECT_GT(removals.count(), 10);
}

TEST(RecordListModelTest, ReportsChangesASavedListWouldShow) {
    test::ScriptedListPrompt prompt;
    RecordList list(&prompt);
    RecordListModel model(list);
    QSignalSpy changed(&model, &RecordListModel::ListChanged);
    QSignalSpy selection(&model, &RecordListModel::ListSelectionChanged);
    QSignalSpy scroll(&model, &RecordListModel::ScrollRequested);
    QSignalSpy title(&model, &RecordListModel::TitleChanged);
    QSignalSpy cells(&model, &QAbstractItemModel::dataChanged);

    list.AddItem("mms://a/1", "", "1", "");
    list.AddItem("mms://a/2", "", "1", "");
    EXPECT_EQ(changed.count(), 2);
    list.SelectRow(1);
    EXPECT_EQ(changed.count(), 2) << "a selection is not saved";
    EXPECT_GE(selection.count(), 1);
    ASSERT_EQ(scroll.count(), 1);
    EXPECT_EQ(scroll.at(0).at(0).toInt(), 1);

    cells.clear();
    list.SetCellText(1, kColInfo, "note");
    EXPECT_EQ(changed.count(), 3);
    ASSERT_EQ(cells.count(), 1);
    EXPECT_EQ(cells.at(0).at(0).toModelIndex(), model.index(1, kColInfo));
    EXPECT_EQ(cells.at(0).at(1).toModelIndex(), model.index(1, kColInfo));

    cells.clear();
    list.SetJobNumber(0, 7);
    ASSERT_EQ(cells.count(), 1);
    EXPECT_EQ(cells.at(0).at(0).toModelIndex(), model.index(0, 0));
    EXPECT_EQ(cells.at(0).at(1).toModelIndex(), model.index(0, kRecordColumnCount - 1));

    list.SetTitle("My list");
    EXPECT_EQ(title.count(), 1);
    EXPECT_EQ(changed.count(), 5);
}

// The header of a column lines up with its cells; widths round down, and a
// column or width out of range gives nothing.
TEST(RecordListModelTest, HeadersAlignLikeTheirCellsAndWidthsStayInRange) {
    RecordList list;
    RecordListModel model(list);
    list.AddItem("mms://a/1", "", "1", "");
    for (int column = 0; column < kRecordColumnCount; ++column) {
        EXPECT_EQ(model.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                  model.data(model.index(0, column), Qt::TextAlignmentRole).toInt())
            << "column " << column;
    }
    EXPECT_FALSE(model.headerData(kRecordColumnCount, Qt::Horizontal, Qt::DisplayRole).isValid());
    EXPECT_EQ(CRecordListView::ColumnWidth(0, 1000), 300);
    EXPECT_EQ(CRecordListView::ColumnWidth(0, 999), 299);  // rounded down
    EXPECT_EQ(CRecordListView::ColumnWidth(kRecordColumnCount, 1000), 0);
    EXPECT_EQ(CRecordListView::ColumnWidth(0, -5), 0);
}

QImage IconImage(const QVariant& decoration) {
    return decoration.value<QIcon>().pixmap(16, 16).toImage().convertToFormat(
        QImage::Format_ARGB32);
}

TEST(RecordListModelTest, MarkIsAReadOnlyIconThatDiffersPerMark) {
    RecordList list;
    RecordListModel model(list);
    list.AddItem("/nonexistent/a.asf", "", "1", "");
    list.AddItem("mms://a/1", "", "1", "");
    list.AddItem("mms://a/2", "", "1", "");
    list.SetMark(2, kMarkRecorded);

    std::vector<QImage> images;
    for (int row = 0; row < 3; ++row) {
        const QModelIndex file = model.index(row, kColFile);
        EXPECT_FALSE(model.flags(file) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable));
        EXPECT_FALSE(model.setData(file, QStringLiteral("x"), Qt::EditRole));
        EXPECT_FALSE(model.data(model.index(row, kColType), Qt::DecorationRole).isValid());
        images.push_back(IconImage(model.data(file, Qt::DecorationRole)));
        ASSERT_FALSE(images.back().isNull()) << "row " << row;
    }
    EXPECT_NE(images[0], images[1]);
    EXPECT_NE(images[0], images[2]);
    EXPECT_NE(images[1], images[2]);

    list.SetMark(1, kMarkLocal);
    EXPECT_EQ(IconImage(model.data(model.index(1, kColFile), Qt::DecorationRole)), images[0]);
}

TEST(RecordListModelTest, TooltipOnlyWhileOn) {
    RecordList list;
    RecordListModel model(list);
    list.AddItem("mms://a/1", "Concert", "1", "");
    list.SetCellText(0, kColInfo, "second set");
    list.SetTitle("Saturday");
    const QString expected =
        QStringLiteral("File registration info : Saturday\n\n Concert - \nsecond set");
    EXPECT_EQ(model.data(model.index(0, kColFile), Qt::ToolTipRole).toString(), expected);
    EXPECT_EQ(model.data(model.index(0, kColSize), Qt::ToolTipRole).toString(), expected);

    QSignalSpy cells(&model, &QAbstractItemModel::dataChanged);
    model.SetToolTips(false);
    EXPECT_FALSE(model.data(model.index(0, kColFile), Qt::ToolTipRole).isValid());
    ASSERT_EQ(cells.count(), 1);
    EXPECT_TRUE(cells.at(0).at(2).value<QList<int>>().contains(Qt::ToolTipRole));

    model.SetToolTips(true);
    EXPECT_EQ(model.data(model.index(0, kColInfo), Qt::ToolTipRole).toString(), expected);
}

}  // namespace
}  // namespace tapewell::gui
