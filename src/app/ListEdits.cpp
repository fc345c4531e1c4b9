#include "app/ListEdits.h"

#include <unordered_map>
#include <vector>

#include "app/AddressText.h"
#include "app/RecordList.h"

namespace tapewell {
namespace {

// Every occurrence of find in text, searched in the original text only.
std::string ReplaceAll(const std::string& text, const std::string& find,
                       const std::string& replacement) {
    std::string result;
    size_t from = 0;
    for (size_t at = text.find(find); at != std::string::npos; at = text.find(find, from)) {
        result.append(text, from, at - from);
        result += replacement;
        from = at + find.size();
    }
    result.append(text, from, std::string::npos);
    return result;
}

std::vector<int> SelectedRows(const RecordList& list) {
    std::vector<int> rows;
    for (int row = list.FirstSelectedRow(); row != RecordList::kNoSelection;
         row = list.NextSelectedRow(row)) {
        rows.push_back(row);
    }
    return rows;
}

std::vector<int> AllRows(const RecordList& list) {
    std::vector<int> rows;
    for (int row = 0; row < list.RowCount(); ++row) {
        rows.push_back(row);
    }
    return rows;
}

// The Original File cell and the type word that the Type cell shows for it.
void WriteAddress(RecordList& list, int row, const std::string& address) {
    list.SetCellText(row, kColOriginalFile, address);
    list.SetCellText(row, kColType, TypeWord(address));
}

}  // namespace

ReplaceCount ReplaceInAddresses(RecordList& list, const std::string& find,
                                const std::string& replacement, bool allRows) {
    ReplaceCount count;
    if (find.empty() || replacement.empty()) {
        return count;
    }
    std::vector<int> rows;
    if (allRows) {
        rows = AllRows(list);
    } else if (const int first = list.FirstSelectedRow(); first != RecordList::kNoSelection) {
        rows.push_back(first);
    }
    // How many rows hold each address right now, kept up to date as rows
    // change, so that no replacement makes a second row with an address.
    std::unordered_map<std::string, int> holders;
    for (int row = 0; row < list.RowCount(); ++row) {
        ++holders[list.Row(row).cells[kColOriginalFile]];
    }
    for (int row : rows) {
        const std::string old = list.Row(row).cells[kColOriginalFile];
        std::string next = ReplaceAll(old, find, replacement);
        if (next == old) {
            continue;
        }
        if (holders[next] > 0) {
            ++count.refused;
            continue;
        }
        --holders[old];
        ++holders[next];
        WriteAddress(list, row, next);
        ++count.changed;
    }
    return count;
}

int ReplaceInNames(RecordList& list, const std::string& find, const std::string& replacement,
                   bool allRows) {
    if (find.empty() || replacement.empty()) {
        return 0;
    }
    int changed = 0;
    for (int row : allRows ? AllRows(list) : SelectedRows(list)) {
        const std::string& old = list.Row(row).cells[kColFile];
        std::string next = ReplaceAll(old, find, replacement);
        if (next != old) {
            list.SetCellText(row, kColFile, next);
            ++changed;
        }
    }
    return changed;
}

int PrependToNames(RecordList& list, const std::string& text) {
    if (text.empty()) {
        return 0;
    }
    int changed = 0;
    for (int row : SelectedRows(list)) {
        if (list.Row(row).mark == kMarkNetwork) {
            list.SetCellText(row, kColFile, text + list.Row(row).cells[kColFile]);
            ++changed;
        }
    }
    return changed;
}

ErrorOr<void> SetAddress(RecordList& list, int row, const std::string& address) {
    if (address.empty() || row < 0 || row >= list.RowCount() ||
        list.Row(row).cells[kColOriginalFile] == address) {
        return {};
    }
    if (list.FindAddress(address) != RecordList::kNoRow) {
        return Error::FromMessage("Another row already has the address " + address + ".");
    }
    WriteAddress(list, row, address);
    return {};
}

void SetName(RecordList& list, int row, const std::string& name) {
    if (!name.empty()) {
        list.SetCellText(row, kColFile, name);
    }
}

}  // namespace tapewell
