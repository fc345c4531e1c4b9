#include "gui/list/CRecordListView.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QResizeEvent>

#include <algorithm>
#include <set>

#include "app/RecordList.h"
#include "gui/list/DropItems.h"
#include "gui/list/GuiListPrompt.h"
#include "gui/list/RecordListModel.h"

namespace tapewell::gui {
namespace {

// Rows hold one line of text beside a 16-pixel icon.
int UniformRowHeight(const QFontMetrics& metrics) {
    return std::max(metrics.height(), 16) + 6;
}

}  // namespace

CRecordListView::CRecordListView(RecordListModel* model, GuiListPrompt* prompt, QWidget* parent)
    : QTableView(parent), m_model(model), m_list(model->List()), m_prompt(prompt) {
    setModel(model);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);

    QHeaderView* rows = verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(UniformRowHeight(fontMetrics()));
    rows->hide();
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CRecordListView::CopySelectionToList);
    connect(model, &RecordListModel::ListSelectionChanged, this,
            &CRecordListView::CopySelectionFromList);
    connect(model, &RecordListModel::ScrollRequested, this, &CRecordListView::ScrollToRow);
    // After a row change the list has already shifted its selection; copying
    // it again makes the view agree even where Qt's own bookkeeping splits or
    // drops a range.
    connect(model, &QAbstractItemModel::rowsInserted, this,
            &CRecordListView::CopySelectionFromList);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &CRecordListView::CopySelectionFromList);
    connect(model, &QAbstractItemModel::rowsMoved, this, &CRecordListView::CopySelectionFromList);

    ApplyColumnWidths();
    CopySelectionFromList();
}

int CRecordListView::ColumnWidth(int column, int viewWidth) {
    if (column < 0 || column >= static_cast<int>(RecordListModel::kColumnPercent.size()) ||
        viewWidth <= 0) {
        return 0;
    }
    return viewWidth * RecordListModel::kColumnPercent[static_cast<size_t>(column)] / 100;
}

void CRecordListView::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    ApplyColumnWidths();
}

void CRecordListView::ApplyColumnWidths() {
    const int viewWidth = viewport()->width();
    for (int column = 0; column < model()->columnCount(); ++column) {
        setColumnWidth(column, ColumnWidth(column, viewWidth));
    }
}

void CRecordListView::CopySelectionToList() {
    // While a row change is under way the list is in the middle of its own
    // operation and shifts its selection itself.
    if (m_syncing || m_model->InRowChange()) {
        return;
    }
    m_syncing = true;
    std::set<int> selected;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        selected.insert(index.row());
    }
    if (selected.empty()) {
        m_list.ClearSelection();
    } else {
        for (int row = 0; row < m_list.RowCount(); ++row) {
            m_list.SetSelected(row, selected.count(row) != 0);
        }
    }
    m_syncing = false;
}

void CRecordListView::CopySelectionFromList() {
    if (m_syncing) {
        return;
    }
    m_syncing = true;
    // Runs of neighbouring rows become one range each.
    QItemSelection selection;
    const int lastColumn = m_model->columnCount() - 1;
    int row = m_list.FirstSelectedRow();
    while (row >= 0) {
        const int first = row;
        int last = row;
        row = m_list.NextSelectedRow(row);
        while (row == last + 1) {
            last = row;
            row = m_list.NextSelectedRow(row);
        }
        selection.select(m_model->index(first, 0), m_model->index(last, lastColumn));
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    m_syncing = false;
}

void CRecordListView::ScrollToRow(int row) {
    const QModelIndex index = m_model->index(row, 0);
    if (!index.isValid()) {
        return;
    }
    // The row the list picked also becomes the current one, which the
    // Delete key acts on; the selection is the list's already.
    m_syncing = true;
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_syncing = false;
    scrollTo(index);
}

void CRecordListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        DeleteCurrentRow();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool CRecordListView::Deletable(int row) const {
    return row >= 0 && row < m_list.RowCount() && m_list.Row(row).jobNumber == 0 &&
           row != m_list.FindPlayingRow(false);
}

void CRecordListView::DeleteCurrentRow() {
    const QModelIndex current = currentIndex();
    if (m_prompt == nullptr || !current.isValid() || !Deletable(current.row())) {
        return;
    }
    // The answer may come after other changes to the list: the row is
    // followed through them and checked again before it goes.
    QPersistentModelIndex target(current);
    QPointer<CRecordListView> self(this);
    m_prompt->AfterDeleteQuestion([self, target] {
        if (!self || !target.isValid() || !self->Deletable(target.row())) {
            return;
        }
        self->m_list.SelectRow(target.row());
        self->m_list.DeleteSelected();
    });
}

void CRecordListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() != nullptr && !DropItems(*event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CRecordListView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData() != nullptr && !DropItems(*event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void CRecordListView::dropEvent(QDropEvent* event) {
    const QStringList items =
        event->mimeData() != nullptr ? DropItems(*event->mimeData()) : QStringList();
    if (items.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT ItemsDropped(items);
}

}  // namespace tapewell::gui
