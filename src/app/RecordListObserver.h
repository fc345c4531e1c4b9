#pragma once

namespace tapewell {

// Told of every change to the record list's rows, after it is made, so that
// a view can follow the rows without copying them. Called on the list's
// thread, from inside the list operation; an observer must not change the
// list from these calls.
class RecordListObserver {
public:
    virtual ~RecordListObserver() = default;
    // Called just before the rows change, so that a view that mirrors them
    // (Qt's item models) can announce the change while the old rows are
    // still in place.
    virtual void OnRowAboutToBeInserted(int row) { (void)row; }
    virtual void OnRowAboutToBeRemoved(int row) { (void)row; }
    virtual void OnRowAboutToBeMoved(int from, int to) {
        (void)from;
        (void)to;
    }
    virtual void OnRowInserted(int row) { (void)row; }
    virtual void OnRowRemoved(int row) { (void)row; }
    // The row at `from` now stands at `to`; the rows between shifted by one.
    virtual void OnRowMoved(int from, int to) {
        (void)from;
        (void)to;
    }
    // column is -1 when the mark or the job number changed.
    virtual void OnCellChanged(int row, int column) {
        (void)row;
        (void)column;
    }
    virtual void OnSelectionChanged() {}
    // SelectRow asks for the row to be scrolled into view.
    virtual void OnScrollTo(int row) { (void)row; }
    virtual void OnTitleChanged() {}
};

}  // namespace tapewell
