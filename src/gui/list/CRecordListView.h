#pragma once

#include <QStringList>
#include <QTableView>

namespace tapewell {
class RecordList;
}

namespace tapewell::gui {

class GuiListPrompt;
class RecordListModel;

// The record list's table. Column widths follow the view's width
// (RecordListModel::kColumnPercent) on every resize. The view's selection
// and the list's are kept equal both ways; the Delete key asks once and
// deletes the current row unless it is busy or playing. Dropped files and
// stream addresses are handed on with ItemsDropped. The list's prompt must
// be the GuiListPrompt given here, so that the delete the view runs after
// the question sees the answer.
class CRecordListView : public QTableView {
    Q_OBJECT
public:
    CRecordListView(RecordListModel* model, GuiListPrompt* prompt, QWidget* parent = nullptr);

    // The width a column gets at a given view width.
    static int ColumnWidth(int column, int viewWidth);

Q_SIGNALS:
    // Paths and addresses in drop order.
    void ItemsDropped(const QStringList& items);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ApplyColumnWidths();
    void CopySelectionToList();
    void CopySelectionFromList();
    void ScrollToRow(int row);
    void DeleteCurrentRow();
    bool Deletable(int row) const;

    RecordListModel* m_model;
    RecordList& m_list;
    GuiListPrompt* m_prompt;
    bool m_syncing = false;  // guards the two-way selection copy against itself
};

}  // namespace tapewell::gui
