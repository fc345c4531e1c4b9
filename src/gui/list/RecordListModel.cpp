#include "gui/list/RecordListModel.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

#include "app/RecordList.h"
#include "app/RecordRow.h"

namespace tapewell::gui {
namespace {

constexpr int kIconSize = 16;

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The File column and the columns from Original File on hold long texts
// read from their start; the size is a number; the short status columns
// sit in the middle.
Qt::Alignment ColumnAlignment(int column) {
    if (column == kColSize) {
        return Qt::AlignRight | Qt::AlignVCenter;
    }
    if (column >= kColType && column <= kColRecord) {
        return Qt::AlignHCenter | Qt::AlignVCenter;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QPixmap BlankIcon() {
    const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(QSize(kIconSize, kIconSize) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A grey sheet of paper with a folded corner: a file on this machine.
QIcon LocalFileIcon() {
    QPixmap pixmap = BlankIcon();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath sheet;
    sheet.moveTo(3.5, 1.5);
    sheet.lineTo(10.5, 1.5);
    sheet.lineTo(13.5, 4.5);
    sheet.lineTo(13.5, 14.5);
    sheet.lineTo(3.5, 14.5);
    sheet.closeSubpath();
    painter.setPen(QPen(QColor(90, 90, 90), 1.0));
    painter.setBrush(QColor(235, 235, 235));
    painter.drawPath(sheet);
    painter.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
    painter.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
    return QIcon(pixmap);
}

// A blue globe: an address on the network.
QIcon NetworkIcon() {
    QPixmap pixmap = BlankIcon();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(20, 70, 160), 1.0));
    painter.setBrush(QColor(80, 150, 230));
    painter.drawEllipse(QRectF(1.5, 1.5, 13.0, 13.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QRectF(5.0, 1.5, 6.0, 13.0));
    painter.drawLine(QPointF(1.5, 8.0), QPointF(14.5, 8.0));
    return QIcon(pixmap);
}

// A red recording dot in a dark ring: a recording that has finished.
QIcon RecordedIcon() {
    QPixmap pixmap = BlankIcon();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 1.5));
    painter.setBrush(QColor(250, 250, 250));
    painter.drawEllipse(QRectF(1.0, 1.0, 14.0, 14.0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(210, 30, 30));
    painter.drawEllipse(QRectF(4.0, 4.0, 8.0, 8.0));
    return QIcon(pixmap);
}

}  // namespace

RecordListModel::RecordListModel(RecordList& list, QObject* parent)
    : QAbstractTableModel(parent), m_list(list) {
    m_headers = tr("File,Type,Time,Play,Record,Size,Original File,Recording File,Info,ns")
                    .split(QLatin1Char(','));
    // A translation with a comma too many or too few still gives ten headers.
    while (m_headers.size() < kRecordColumnCount) {
        m_headers << QString();
    }
    m_headers = m_headers.mid(0, kRecordColumnCount);
    m_markIcons = {LocalFileIcon(), NetworkIcon(), RecordedIcon()};
    m_list.SetObserver(this);
}

RecordListModel::~RecordListModel() {
    m_list.SetObserver(nullptr);
}

void RecordListModel::SetToolTips(bool on) {
    if (m_toolTips == on) {
        return;
    }
    m_toolTips = on;
    EmitRoleChangedEverywhere(Qt::ToolTipRole);
}

int RecordListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.RowCount();
}

int RecordListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kRecordColumnCount;
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
    if (!IsCell(index)) {
        return {};
    }
    const RecordRow& row = m_list.Row(index.row());
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return Text(row.cells[static_cast<size_t>(column)]);
        case Qt::DecorationRole:
            if (column == kColFile) {
                return MarkIcon(row.mark);
            }
            return {};
        case Qt::TextAlignmentRole:
            return static_cast<int>(ColumnAlignment(column));
        case Qt::ToolTipRole:
            if (!m_toolTips) {
                return {};
            }
            return tr("File registration info : %1\n\n %2 - \n%3")
                .arg(Text(m_list.Title()), Text(row.cells[kColFile]), Text(row.cells[kColInfo]));
        default:
            return {};
    }
}

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (section < 0 || section >= kRecordColumnCount) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return m_headers.at(section);
        case Qt::TextAlignmentRole:
            return static_cast<int>(ColumnAlignment(section));
        default:
            return {};
    }
}

Qt::ItemFlags RecordListModel::flags(const QModelIndex& index) const {
    if (!IsCell(index)) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

bool RecordListModel::IsCell(const QModelIndex& index) const {
    // Views and proxies may ask with indexes that went stale or belong to
    // another model; those read as empty.
    return index.isValid() && index.model() == this && !index.parent().isValid() &&
           index.row() < m_list.RowCount() && index.column() < kRecordColumnCount;
}

QIcon RecordListModel::MarkIcon(int32_t mark) const {
    switch (mark) {
        case kMarkLocal:
            return m_markIcons[0];
        case kMarkNetwork:
            return m_markIcons[1];
        case kMarkRecorded:
            return m_markIcons[2];
        default:
            // A list file may bring a mark of its own; it shows no icon.
            return {};
    }
}

void RecordListModel::EmitRoleChangedEverywhere(int role) {
    if (m_list.RowCount() > 0) {
        Q_EMIT dataChanged(index(0, 0), index(m_list.RowCount() - 1, kRecordColumnCount - 1),
                           {role});
    }
}

void RecordListModel::OnRowAboutToBeInserted(int row) {
    m_rowChange = true;
    beginInsertRows({}, row, row);
}

void RecordListModel::OnRowInserted(int) {
    endInsertRows();
    m_rowChange = false;
    Q_EMIT ListChanged();
}

void RecordListModel::OnRowAboutToBeRemoved(int row) {
    m_rowChange = true;
    beginRemoveRows({}, row, row);
}

void RecordListModel::OnRowRemoved(int) {
    endRemoveRows();
    m_rowChange = false;
    Q_EMIT ListChanged();
}

void RecordListModel::OnRowAboutToBeMoved(int from, int to) {
    // The list gives the row's final index; Qt wants the index before which
    // the row goes in the old order, one past the final index on a move down.
    const int destination = to > from ? to + 1 : to;
    m_rowChange = true;
    m_moveAnnounced = from != to && beginMoveRows({}, from, from, {}, destination);
}

void RecordListModel::OnRowMoved(int from, int to) {
    if (m_moveAnnounced) {
        endMoveRows();
    } else if (from != to) {
        // Not expressible as a Qt move: tell the views every row between
        // changed instead of leaving them with the old order.
        Q_EMIT dataChanged(index(std::min(from, to), 0),
                           index(std::max(from, to), kRecordColumnCount - 1));
    }
    m_moveAnnounced = false;
    m_rowChange = false;
    Q_EMIT ListChanged();
}

void RecordListModel::OnCellChanged(int row, int column) {
    if (row < 0 || row >= m_list.RowCount()) {
        return;
    }
    if (column < 0 || column >= kRecordColumnCount) {
        // The mark or the job number: the icon and anything drawn from the
        // row's state may change.
        Q_EMIT dataChanged(index(row, 0), index(row, kRecordColumnCount - 1));
    } else {
        Q_EMIT dataChanged(index(row, column), index(row, column));
    }
    Q_EMIT ListChanged();
}

void RecordListModel::OnSelectionChanged() {
    Q_EMIT ListSelectionChanged();
}

void RecordListModel::OnScrollTo(int row) {
    Q_EMIT ScrollRequested(row);
}

void RecordListModel::OnTitleChanged() {
    // The title is part of every row's tooltip.
    if (m_toolTips) {
        EmitRoleChangedEverywhere(Qt::ToolTipRole);
    }
    Q_EMIT TitleChanged();
    Q_EMIT ListChanged();
}

}  // namespace tapewell::gui
