#include "app/RecordList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/AddressText.h"
#include "app/RecordListObserver.h"
#include "playlist/ListPrompt.h"

namespace tapewell {

int RecordList::FindAddress(const std::string& address) const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].cells[kColOriginalFile] == address) {
            return static_cast<int>(i);
        }
    }
    return kNoRow;
}

RecordRow RecordList::NewRow(const std::string& address, const std::string& name) const {
    RecordRow row;
    row.cells[kColFile] = name.empty() ? DeriveName(address) : name;
    row.cells[kColType] = TypeWord(address);
    row.cells[kColOriginalFile] = address;
    row.mark = IsLocalPath(address) ? kMarkLocal : kMarkNetwork;
    return row;
}

int RecordList::AddItem(const std::string& address, const std::string& name,
                        const std::string& sizeOption, const std::string& agent) {
    if (int existing = FindAddress(address); existing != kNoRow) {
        return existing;
    }
    RecordRow row = NewRow(address, name);
    row.cells[kColNs] = agent;
    const int index = InsertRow(RowCount(), std::move(row));
    // A size option only says "do not look"; its text is not kept.
    if (sizeOption.empty()) {
        FillSizeFromFile(index, address);
    }
    return index;
}

int RecordList::InsertItemAt(int index, const std::string& address, const std::string& name) {
    if (int existing = FindAddress(address); existing != kNoRow) {
        return existing;
    }
    const int at = InsertRow(std::clamp(index, 0, RowCount()), NewRow(address, name));
    FillSizeFromFile(at, address);
    return at;
}

bool RecordList::RemoveItem(const std::string& address) {
    const int row = FindAddress(address);
    if (row == kNoRow || !Deletable(row)) {
        return false;
    }
    RemoveRow(row);
    return true;
}

int RecordList::AppendRow(RecordRow row) {
    return InsertRow(RowCount(), std::move(row));
}

int RecordList::InsertRow(int index, RecordRow row) {
    if (m_observer != nullptr) {
        m_observer->OnRowAboutToBeInserted(index);
    }
    m_rows.insert(m_rows.begin() + index, std::move(row));
    std::set<int> shifted;
    for (int selected : m_selected) {
        shifted.insert(selected >= index ? selected + 1 : selected);
    }
    m_selected.swap(shifted);
    if (m_observer != nullptr) {
        m_observer->OnRowInserted(index);
    }
    return index;
}

void RecordList::RemoveRow(int row) {
    if (m_observer != nullptr) {
        m_observer->OnRowAboutToBeRemoved(row);
    }
    m_rows.erase(m_rows.begin() + row);
    std::set<int> shifted;
    for (int selected : m_selected) {
        if (selected != row) {
            shifted.insert(selected > row ? selected - 1 : selected);
        }
    }
    m_selected.swap(shifted);
    if (m_observer != nullptr) {
        m_observer->OnRowRemoved(row);
    }
}

void RecordList::MoveRow(int from, int to) {
    if (m_observer != nullptr) {
        m_observer->OnRowAboutToBeMoved(from, to);
    }
    RecordRow moving = std::move(m_rows[static_cast<size_t>(from)]);
    m_rows.erase(m_rows.begin() + from);
    m_rows.insert(m_rows.begin() + to, std::move(moving));
    std::set<int> shifted;
    for (int selected : m_selected) {
        int now = selected;
        if (selected == from) {
            now = to;
        } else if (from < to && selected > from && selected <= to) {
            now = selected - 1;
        } else if (to < from && selected >= to && selected < from) {
            now = selected + 1;
        }
        shifted.insert(now);
    }
    m_selected.swap(shifted);
    if (m_observer != nullptr) {
        m_observer->OnRowMoved(from, to);
    }
}

void RecordList::NotifyCell(int row, int column) {
    if (m_observer != nullptr) {
        m_observer->OnCellChanged(row, column);
    }
}

void RecordList::RenameByAddress(const std::string& address, const std::string& name) {
    if (int row = FindAddress(address); row != kNoRow) {
        SetCellText(row, kColFile, name);
    }
}

void RecordList::SetCellText(int row, int column, const std::string& text) {
    if (!Valid(row) || column < 0 || column >= kRecordColumnCount) {
        return;
    }
    m_rows[static_cast<size_t>(row)].cells[static_cast<size_t>(column)] = text;
    NotifyCell(row, column);
}

std::string RecordList::GetCellText(int row, int column) const {
    if (!Valid(row) || column < 0 || column >= kRecordColumnCount) {
        return {};
    }
    return m_rows[static_cast<size_t>(row)].cells[static_cast<size_t>(column)];
}

void RecordList::SetMark(int row, int32_t mark) {
    if (Valid(row)) {
        m_rows[static_cast<size_t>(row)].mark = mark;
        NotifyCell(row, -1);
    }
}

void RecordList::SetJobNumber(int row, uint32_t jobNumber) {
    if (Valid(row)) {
        m_rows[static_cast<size_t>(row)].jobNumber = jobNumber;
        NotifyCell(row, -1);
    }
}

int RecordList::FindRowByJobNumber(uint32_t jobNumber) const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].jobNumber == jobNumber) {
            return static_cast<int>(i);
        }
    }
    return kNoSelection;
}

void RecordList::SetPlayerState(const std::string& address, bool playing) {
    m_playerAddress = address;
    m_playerPlaying = playing;
}

int RecordList::FindPlayingRow(bool anyState) const {
    if ((!anyState && !m_playerPlaying) || m_playerAddress.empty()) {
        return kNoRow;
    }
    for (int column : {kColOriginalFile, kColRecordingFile}) {
        for (size_t i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].cells[static_cast<size_t>(column)] == m_playerAddress) {
                return static_cast<int>(i);
            }
        }
    }
    return kNoRow;
}

int RecordList::SelectRow(int row) {
    ClearSelection();
    if (row < 0 || m_rows.empty()) {
        return kNoRow;
    }
    if (row >= RowCount()) {
        row = 0;
    }
    SetSelected(row, true);
    if (m_observer != nullptr) {
        m_observer->OnScrollTo(row);
    }
    return row;
}

void RecordList::SetSelected(int row, bool selected) {
    if (!Valid(row) || IsSelected(row) == selected) {
        return;
    }
    if (selected) {
        m_selected.insert(row);
    } else {
        m_selected.erase(row);
    }
    if (m_observer != nullptr) {
        m_observer->OnSelectionChanged();
    }
}

void RecordList::ClearSelection() {
    if (m_selected.empty()) {
        return;
    }
    m_selected.clear();
    if (m_observer != nullptr) {
        m_observer->OnSelectionChanged();
    }
}

int RecordList::FirstSelectedRow() const {
    return m_selected.empty() ? kNoSelection : *m_selected.begin();
}

int RecordList::NextSelectedRow(int row) const {
    auto next = m_selected.upper_bound(row);
    return next == m_selected.end() ? kNoSelection : *next;
}

void RecordList::FillSizeFromFile(int row, const std::string& path) {
    if (!Valid(row) || path.empty()) {
        return;
    }
    std::ifstream file(path, std::ios::binary);
    std::error_code error;
    const uintmax_t length = file ? std::filesystem::file_size(path, error) : 0;
    if (!file || error) {
        return;
    }
    SetCellText(row, kColSize, SizeText(length));
}

void RecordList::SetDuration(int row, uint32_t seconds) {
    SetCellText(row, kColTime, DurationText(seconds));
}

void RecordList::SetPosition(uint32_t seconds) {
    SetCellText(FindPlayingRow(false), kColPlay, PositionText(seconds));
}

bool RecordList::Deletable(int row) const {
    return Row(row).jobNumber == 0 && row != FindPlayingRow(false);
}

void RecordList::NewList() {
    RemoveIdleRows();
    SetCredentials("", "");
    SetTitle("");
}

void RecordList::RemoveIdleRows() {
    for (int row = RowCount() - 1; row >= 0; --row) {
        if (Deletable(row)) {
            RemoveRow(row);
        }
    }
}

void RecordList::DeleteSelected() {
    if (FirstSelectedRow() == kNoSelection || m_prompt == nullptr || !m_prompt->ConfirmDelete()) {
        return;
    }
    // Deleting shifts the rows below, so each deletion starts over from the
    // first selected row; busy and playing rows are stepped over.
    int row = FirstSelectedRow();
    while (row != kNoSelection) {
        if (Deletable(row)) {
            RemoveRow(row);
            row = FirstSelectedRow();
        } else {
            row = NextSelectedRow(row);
        }
    }
    if (m_observer != nullptr) {
        m_observer->OnSelectionChanged();
    }
}

void RecordList::DeleteAll() {
    for (int row = 0; row < RowCount(); ++row) {
        SetSelected(row, true);
    }
    DeleteSelected();
}

void RecordList::MoveSelectedUp() {
    const int row = FirstSelectedRow();
    if (row > 0) {
        MoveRow(row, row - 1);
    }
    ClearSelection();
}

void RecordList::MoveSelectedDown() {
    const int row = FirstSelectedRow();
    if (row >= 0 && row + 1 < RowCount()) {
        MoveRow(row, row + 1);
    }
    ClearSelection();
}

void RecordList::SetTitle(const std::string& title) {
    m_title = title;
    if (m_observer != nullptr) {
        m_observer->OnTitleChanged();
    }
}

void RecordList::SetCredentials(const std::string& user, const std::string& password) {
    m_userName = user;
    m_password = password;
}

}  // namespace tapewell
