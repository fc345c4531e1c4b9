#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>

#include <array>
#include <cstdint>

#include "app/RecordListObserver.h"

namespace tapewell {
class RecordList;
}

namespace tapewell::gui {

// The record list as a Qt table: the core's RecordList holds the rows, this
// model only reads them and turns the list's change reports into Qt's model
// signals (the list's one observer). Cells are read-only display texts; the
// mark shows as an icon in the File column (local file, network address,
// recorded). Used on the UI thread only.
class RecordListModel : public QAbstractTableModel, private RecordListObserver {
    Q_OBJECT
public:
    // Share of the view's width each column gets, in percent.
    static constexpr std::array<int, 10> kColumnPercent{30, 12, 13, 13, 19, 13, 50, 50, 0, 0};

    explicit RecordListModel(RecordList& list, QObject* parent = nullptr);
    ~RecordListModel() override;

    RecordList& List() { return m_list; }

    // The row tooltip (title, File and Info) is given only while on.
    void SetToolTips(bool on);

    // The icon the File column shows for a row mark (none for an unknown mark).
    QIcon MarkIcon(int32_t mark) const;

    // True from a row insertion, removal or move's announcement until its
    // end: the views' selection then follows the rows on its own and must
    // not be copied back into the list, which is mid-operation.
    bool InRowChange() const { return m_rowChange; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

Q_SIGNALS:
    // The list's own selection changed (not the view's).
    void ListSelectionChanged();
    void ScrollRequested(int row);
    void TitleChanged();
    // Any change a saved list would show: rows, cells, marks, the title.
    void ListChanged();

private:
    void OnRowAboutToBeInserted(int row) override;
    void OnRowInserted(int row) override;
    void OnRowAboutToBeRemoved(int row) override;
    void OnRowRemoved(int row) override;
    void OnRowAboutToBeMoved(int from, int to) override;
    void OnRowMoved(int from, int to) override;
    void OnCellChanged(int row, int column) override;
    void OnSelectionChanged() override;
    void OnScrollTo(int row) override;
    void OnTitleChanged() override;

    bool IsCell(const QModelIndex& index) const;
    void EmitRoleChangedEverywhere(int role);

    RecordList& m_list;
    QStringList m_headers;
    std::array<QIcon, 3> m_markIcons;  // local, network, recorded
    bool m_toolTips = true;
    bool m_rowChange = false;
    bool m_moveAnnounced = false;  // beginMoveRows accepted the move being made
};

}  // namespace tapewell::gui
