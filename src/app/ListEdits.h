#pragma once

#include <string>

#include "common/ErrorOr.h"

namespace tapewell {

class RecordList;

// The record list's edit commands ("Modify URL", "Modify File Name..."):
// changes to the File and Original File cells of chosen rows. Every change
// goes through RecordList, so its observer repaints the cells. Called on the
// list's thread; each tells how many rows changed (a row whose text comes
// out the same does not count).
//
// Replacing changes every occurrence of find, left to right, in the text as
// it was: what a replacement inserted is not searched again, so "a" to "aa"
// ends. An empty find or an empty replacement changes nothing.

// What a replacement in addresses did: rows whose address changed, and rows
// left alone because the new address is already another row's (an address
// is a row's identity; the window tells the user why they were skipped).
struct ReplaceCount {
    int changed = 0;
    int refused = 0;
};

// allRows false: the first selected row only.
ReplaceCount ReplaceInAddresses(RecordList& list, const std::string& find,
                                const std::string& replacement, bool allRows);
// allRows false: every selected row.
int ReplaceInNames(RecordList& list, const std::string& find, const std::string& replacement,
                   bool allRows);
// "Append": puts text in front of the name of every selected row whose mark
// is exactly 1 (a network address).
int PrependToNames(RecordList& list, const std::string& text);

// "Modify" of the address. An empty address, or a row that does not exist,
// changes nothing and succeeds; an address another row already has is
// refused. The Type cell follows the new address.
ErrorOr<void> SetAddress(RecordList& list, int row, const std::string& address);
// "Modify" of the File cell; an empty name changes nothing.
void SetName(RecordList& list, int row, const std::string& name);

}  // namespace tapewell
