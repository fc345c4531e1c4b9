#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tapewell {

// mimeapps.list of a user holds every desktop's choices, most of them not
// ours, so it is edited line by line: only the lines of the types Tapewell
// registers change, and every other byte (comments, blank lines, order,
// other groups and keys, CR LF line ends, a missing final newline) stays.
// The same reader serves desktop entries, which share the key-file format.
class MimeAppsList {
public:
    static constexpr std::string_view kDefaultGroup = "Default Applications";
    static constexpr std::string_view kAddedGroup = "Added Associations";
    // Larger files are not edited (a cut file would lose the rest) and are
    // read only this far.
    static constexpr size_t kMaxBytes = 1u << 20;

    MimeAppsList() = default;
    explicit MimeAppsList(std::string_view text);

    std::string Text() const;

    // The value of key in the first group of that name, without the blanks
    // after "="; keys are compared without ASCII case, as MIME types are.
    std::optional<std::string> Value(std::string_view group, std::string_view key) const;
    // The value read as a ";"-separated list of desktop ids, blanks and
    // empty items left out.
    std::vector<std::string> Entries(std::string_view group, std::string_view key) const;

    // Makes entry the first item of key's list, dropping it from later
    // places, and creates the key and the group when missing. False when
    // nothing had to change.
    bool PutFirst(std::string_view group, std::string_view key, std::string_view entry);
    // Removes entry from key's list (from every line of the key, should it
    // be repeated); a list left empty loses its line, and
    // a group left without keys loses its header. Putting an entry first
    // and removing it again gives back the text as it was. False when
    // nothing had to change.
    bool Remove(std::string_view group, std::string_view key, std::string_view entry);

private:
    struct Line {
        std::string body;
        std::string end;  // "\n", "\r\n", or "" for a last line without one
    };

    // Index of key's line, or npos. *header is the header of the group that
    // holds the line, else of the group's first occurrence, else npos.
    size_t FindKey(std::string_view group, std::string_view key, size_t* header) const;
    void InsertLine(size_t at, std::string body);
    void EraseLine(size_t at);
    void EraseGroupIfEmpty(size_t header);
    std::string_view LineEnd() const;

    std::vector<Line> m_lines;
};

}  // namespace tapewell
