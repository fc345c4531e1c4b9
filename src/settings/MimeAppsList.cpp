#include "settings/MimeAppsList.h"

#include "common/TextCodec.h"

namespace tapewell {
namespace {

constexpr size_t npos = std::string_view::npos;

std::string_view Trim(std::string_view text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == npos) {
        return {};
    }
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// "[name]" with optional blanks around it.
std::optional<std::string_view> GroupOf(std::string_view line) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[' || line.back() != ']') {
        return std::nullopt;
    }
    return line.substr(1, line.size() - 2);
}

bool IsKeyLine(std::string_view line) {
    std::string_view trimmed = Trim(line);
    return !trimmed.empty() && trimmed.front() != '#' && trimmed.front() != '[' &&
           trimmed.find('=') != npos;
}

std::string_view KeyOf(std::string_view line) {
    return Trim(line.substr(0, line.find('=')));
}

// Splits a key line into what comes up to and including "=" and the blanks
// after it, which stay as written, and the value proper.
std::pair<std::string_view, std::string_view> SplitValue(std::string_view line) {
    size_t start = line.find('=') + 1;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) {
        ++start;
    }
    return {line.substr(0, start), line.substr(start)};
}

// The list without any item equal to entry; every other byte of it is kept,
// so that an item taken out again leaves the value as it was.
std::string WithoutEntry(std::string_view value, std::string_view entry) {
    std::string out;
    size_t pos = 0;
    while (true) {
        size_t semi = value.find(';', pos);
        std::string_view item = value.substr(pos, semi == npos ? npos : semi - pos);
        if (Trim(item) != entry) {
            out += item;
            if (semi != npos) {
                out += ';';
            }
        }
        if (semi == npos) {
            return out;
        }
        pos = semi + 1;
    }
}

std::vector<std::string> SplitEntries(std::string_view value) {
    std::vector<std::string> entries;
    while (!value.empty()) {
        size_t semi = value.find(';');
        std::string_view item = Trim(value.substr(0, semi));
        if (!item.empty()) {
            entries.emplace_back(item);
        }
        value.remove_prefix(semi == npos ? value.size() : semi + 1);
    }
    return entries;
}

}  // namespace

MimeAppsList::MimeAppsList(std::string_view text) {
    while (!text.empty()) {
        size_t newline = text.find('\n');
        Line line;
        if (newline == npos) {
            line.body = std::string(text);
            text = {};
        } else {
            line.body = std::string(text.substr(0, newline));
            line.end = "\n";
            text.remove_prefix(newline + 1);
            if (!line.body.empty() && line.body.back() == '\r') {
                line.body.pop_back();
                line.end = "\r\n";
            }
        }
        m_lines.push_back(std::move(line));
    }
}

std::string MimeAppsList::Text() const {
    std::string text;
    for (const auto& line : m_lines) {
        text += line.body;
        text += line.end;
    }
    return text;
}

std::string_view MimeAppsList::LineEnd() const {
    for (const auto& line : m_lines) {
        if (!line.end.empty()) {
            return line.end;
        }
    }
    return "\n";
}

size_t MimeAppsList::FindKey(std::string_view group, std::string_view key, size_t* header) const {
    *header = npos;
    const std::string wanted = AsciiLower(key);
    size_t current = npos;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        std::string_view body = m_lines[i].body;
        if (auto name = GroupOf(body)) {
            current = *name == group ? i : npos;
            if (current != npos && *header == npos) {
                *header = i;
            }
        } else if (current != npos && IsKeyLine(body) && AsciiLower(KeyOf(body)) == wanted) {
            *header = current;
            return i;
        }
    }
    return npos;
}

std::optional<std::string> MimeAppsList::Value(std::string_view group, std::string_view key) const {
    size_t header = npos;
    size_t at = FindKey(group, key, &header);
    if (at == npos) {
        return std::nullopt;
    }
    return std::string(SplitValue(m_lines[at].body).second);
}

std::vector<std::string> MimeAppsList::Entries(std::string_view group, std::string_view key) const {
    auto value = Value(group, key);
    return value ? SplitEntries(*value) : std::vector<std::string>{};
}

// A line added after a last line without a newline becomes the new last
// line without one, so that the file keeps its shape and removing the line
// again restores it.
void MimeAppsList::InsertLine(size_t at, std::string body) {
    Line line{std::move(body), std::string(LineEnd())};
    if (at == m_lines.size() && !m_lines.empty() && m_lines.back().end.empty()) {
        // A last line ending in a lone CR must keep it as part of the line:
        // with a plain LF after it, the two would read as one CR LF end.
        m_lines.back().end = m_lines.back().body.ends_with('\r') ? "\r\n" : line.end;
        line.end.clear();
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void MimeAppsList::EraseLine(size_t at) {
    if (at + 1 == m_lines.size() && at > 0 && m_lines[at].end.empty()) {
        m_lines[at - 1].end.clear();
    }
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(at));
}

// A group is created with a blank line before its header; it goes with
// that line when its last key goes.
void MimeAppsList::EraseGroupIfEmpty(size_t header) {
    for (size_t i = header + 1; i < m_lines.size() && !GroupOf(m_lines[i].body); ++i) {
        if (!Trim(m_lines[i].body).empty()) {
            return;
        }
    }
    EraseLine(header);
    if (header > 0 && Trim(m_lines[header - 1].body).empty()) {
        EraseLine(header - 1);
    }
}

bool MimeAppsList::PutFirst(std::string_view group, std::string_view key, std::string_view entry) {
    size_t header = npos;
    size_t at = FindKey(group, key, &header);
    if (at != npos) {
        auto [prefix, value] = SplitValue(m_lines[at].body);
        auto entries = SplitEntries(value);
        if (!entries.empty() && entries.front() == entry) {
            return false;
        }
        m_lines[at].body =
            std::string(prefix) + std::string(entry) + ";" + WithoutEntry(value, entry);
        return true;
    }
    std::string line = std::string(key) + "=" + std::string(entry) + ";";
    if (header == npos) {
        if (!m_lines.empty()) {
            InsertLine(m_lines.size(), "");
        }
        InsertLine(m_lines.size(), "[" + std::string(group) + "]");
        InsertLine(m_lines.size(), std::move(line));
        return true;
    }
    // After the group's last non-blank line, so that the blank lines that
    // part it from the next group stay where they are.
    size_t after = header;
    for (size_t i = header + 1; i < m_lines.size() && !GroupOf(m_lines[i].body); ++i) {
        if (!Trim(m_lines[i].body).empty()) {
            after = i;
        }
    }
    InsertLine(after + 1, std::move(line));
    return true;
}

// Every line of the key is cleaned, the last first so that the indexes of
// the others hold: a repeated key would otherwise bring ours back.
bool MimeAppsList::Remove(std::string_view group, std::string_view key, std::string_view entry) {
    std::vector<std::pair<size_t, size_t>> found;  // line, its group's header
    const std::string wanted = AsciiLower(key);
    size_t current = npos;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        std::string_view body = m_lines[i].body;
        if (auto name = GroupOf(body)) {
            current = *name == group ? i : npos;
        } else if (current != npos && IsKeyLine(body) && AsciiLower(KeyOf(body)) == wanted) {
            found.emplace_back(i, current);
        }
    }
    bool changed = false;
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        auto [at, header] = *it;
        auto [prefix, value] = SplitValue(m_lines[at].body);
        std::string rest = WithoutEntry(value, entry);
        if (rest == value) {
            continue;
        }
        changed = true;
        if (!SplitEntries(rest).empty()) {
            m_lines[at].body = std::string(prefix) + rest;
            continue;
        }
        EraseLine(at);
        EraseGroupIfEmpty(header);
    }
    return changed;
}

}  // namespace tapewell
