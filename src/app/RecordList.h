#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "app/RecordRow.h"

namespace tapewell {

class ListPrompt;
class RecordListObserver;

// The record list: the rows that the main window shows and that recording,
// the address check, playback and the list files work on. Rows are
// addressed by index; a row's address (the Original File cell) is its
// identity, compared exactly and with case.
//
// What the window owns is handed in: the selection (SetSelected and
// friends, which the model keeps in step with deletions and moves), the
// player's state for "the playing row" (SetPlayerState), and the
// "are you sure" question (a ListPrompt). Changes are reported to one
// RecordListObserver.
//
// Single-threaded: every call comes from the list's own thread (the
// desktop program's UI thread). Recording jobs and the address check hand
// their row updates to that thread instead of calling in.
class RecordList {
public:
    static constexpr int kNoSelection = -2;  // selection queries, FindRowByJobNumber
    static constexpr int kNoRow = -1;        // SelectRow, FindPlayingRow

    explicit RecordList(ListPrompt* prompt = nullptr) : m_prompt(prompt) {}
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;

    void SetObserver(RecordListObserver* observer) { m_observer = observer; }
    // Without a prompt, deletions are not confirmed and do not happen.
    void SetPrompt(ListPrompt* prompt) { m_prompt = prompt; }

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    // row must be from 0 to RowCount() - 1.
    const RecordRow& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }

    // Appends a row for address, or returns the row that already has it,
    // unchanged. An empty name is derived from the address; an empty
    // sizeOption lets a local file's size fill the Size cell.
    int AddItem(const std::string& address, const std::string& name, const std::string& sizeOption,
                const std::string& agent);
    // The same at index (clamped to the list), without an agent, always
    // looking up the size.
    int InsertItemAt(int index, const std::string& address, const std::string& name);
    // Removes the row with this address unless it is busy or playing;
    // false when no row was removed. For rows the program itself added,
    // such as a recording's file row when the recording left no file.
    bool RemoveItem(const std::string& address);
    // Appends a row as it is, without a duplicate check: for the list files.
    int AppendRow(RecordRow row);
    // File cell of the first row with this address.
    void RenameByAddress(const std::string& address, const std::string& name);

    // Out-of-range rows or columns read as "" and are not written.
    void SetCellText(int row, int column, const std::string& text);
    std::string GetCellText(int row, int column) const;
    void SetMark(int row, int32_t mark);
    void SetJobNumber(int row, uint32_t jobNumber);

    int FindRowByJobNumber(uint32_t jobNumber) const;
    // The row with this address, or kNoRow.
    int FindAddress(const std::string& address) const;

    // The player's current address and whether it is playing (play state 2).
    void SetPlayerState(const std::string& address, bool playing);
    // The row whose address, or else recording file, is the player's
    // address; -1 when none, or when anyState is false and it is not playing.
    int FindPlayingRow(bool anyState) const;

    // Clears the selection and selects row (row 0 when beyond the last),
    // asking the view to scroll to it; -1 for a negative row or an empty list.
    int SelectRow(int row);
    void SetSelected(int row, bool selected);
    void ClearSelection();
    bool IsSelected(int row) const { return m_selected.count(row) != 0; }
    int FirstSelectedRow() const;
    int NextSelectedRow(int row) const;

    // Size cell from the length of the file at path; unchanged when it
    // cannot be read.
    void FillSizeFromFile(int row, const std::string& path);
    void SetDuration(int row, uint32_t seconds);
    // Play cell of the playing row.
    void SetPosition(uint32_t seconds);

    // Removes every row that is neither busy nor playing, and forgets the
    // credentials and the title.
    void NewList();
    // Removes every row that is neither busy nor playing, keeping the title
    // and the credentials: "&Open..." clears the list this way before it
    // opens the chosen files.
    void RemoveIdleRows();
    // After one question, removes the selected rows that are neither busy
    // nor playing.
    void DeleteSelected();
    void DeleteAll();
    // Moves the first selected row by one place, then clears the selection.
    void MoveSelectedUp();
    void MoveSelectedDown();

    const std::string& Title() const { return m_title; }
    void SetTitle(const std::string& title);
    // The current credentials, held in memory only: list files bring them,
    // every recording job and check run is given them.
    const std::string& UserName() const { return m_userName; }
    const std::string& Password() const { return m_password; }
    void SetCredentials(const std::string& user, const std::string& password);

private:
    bool Valid(int row) const { return row >= 0 && row < RowCount(); }
    bool Deletable(int row) const;
    RecordRow NewRow(const std::string& address, const std::string& name) const;
    int InsertRow(int index, RecordRow row);
    void RemoveRow(int row);
    void MoveRow(int from, int to);
    void NotifyCell(int row, int column);

    std::vector<RecordRow> m_rows;
    std::set<int> m_selected;
    std::string m_playerAddress;
    bool m_playerPlaying = false;
    std::string m_title;
    std::string m_userName;
    std::string m_password;
    ListPrompt* m_prompt;
    RecordListObserver* m_observer = nullptr;
};

}  // namespace tapewell
