#include "settings/IniDocument.h"

#include <cstdint>
#include <limits>

#include "common/PercentDecode.h"
#include "common/TextCodec.h"

namespace tapewell {

namespace {

constexpr size_t kNoSection = std::numeric_limits<size_t>::max();
constexpr std::string_view kDefaultValueName = "@";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

enum class EscapeKind { Section, Name, Value };

// Blanks and tabs around names and values are layout: blanks that belong to
// a name or value are always written escaped, so trimming never loses any.
std::string_view Trim(std::string_view text) {
    constexpr std::string_view kLayout = " \t\r";
    size_t first = text.find_first_not_of(kLayout);
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(kLayout);
    return text.substr(first, last - first + 1);
}

bool NeedsEscape(std::string_view text, size_t i, EscapeKind kind) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '%' || c < 0x20 || c == 0x7F) {
        return true;
    }
    // "ScreenSave " must stay apart from "ScreenSave", so outer blanks are
    // kept visible to the parser, which trims unescaped ones.
    if (c == ' ') {
        size_t first = text.find_first_not_of(' ');
        size_t last = text.find_last_not_of(' ');
        return first == std::string_view::npos || i < first || i > last;
    }
    switch (kind) {
        case EscapeKind::Section:
            return c == '[' || c == ']';
        case EscapeKind::Name:
            // A name starting with these would read as a section or a comment.
            return c == '=' || (i == 0 && (c == '[' || c == ';' || c == '#'));
        case EscapeKind::Value:
            return false;
    }
    return false;
}

void AppendEscapedByte(std::string& out, unsigned char c) {
    constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 0x0F];
}

std::string Escape(std::string_view text, EscapeKind kind) {
    if (kind == EscapeKind::Name && text == kDefaultValueName) {
        return "%40";
    }
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (NeedsEscape(text, i, kind)) {
            AppendEscapedByte(out, static_cast<unsigned char>(text[i]));
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument doc;
    if (text.starts_with(kUtf8Bom)) {
        text.remove_prefix(kUtf8Bom.size());
    }
    size_t current = kNoSection;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        doc.ParseLine(Trim(line), current);
    }
    return doc;
}

void IniDocument::ParseLine(std::string_view line, size_t& current) {
    if (line.empty() || line.front() == ';' || line.front() == '#') {
        return;
    }
    if (line.front() == '[') {
        size_t close = line.find(']');
        if (close == std::string_view::npos) {
            // Values under a broken header are dropped rather than filed
            // under whichever section came before it.
            current = kNoSection;
            return;
        }
        current = FindOrAddSection(PercentDecode(line.substr(1, close - 1)));
        return;
    }
    size_t eq = line.find('=');
    if (current == kNoSection || eq == std::string_view::npos) {
        return;
    }
    std::string_view rawName = Trim(line.substr(0, eq));
    if (rawName.empty()) {
        return;
    }
    std::string name = rawName == kDefaultValueName ? std::string() : PercentDecode(rawName);
    SetIn(m_sections[current], name, PercentDecode(Trim(line.substr(eq + 1))));
}

std::string IniDocument::Serialize() const {
    std::string out;
    for (const Section& section : m_sections) {
        if (!out.empty()) {
            out += '\n';
        }
        out += '[';
        out += Escape(section.name, EscapeKind::Section);
        out += "]\n";
        for (const Entry& entry : section.entries) {
            out += entry.name.empty() ? std::string(kDefaultValueName)
                                      : Escape(entry.name, EscapeKind::Name);
            out += '=';
            out += Escape(entry.value, EscapeKind::Value);
            out += '\n';
        }
    }
    return out;
}

const IniDocument::Section* IniDocument::FindSection(std::string_view name) const {
    auto it = m_sectionIndex.find(AsciiLower(name));
    return it == m_sectionIndex.end() ? nullptr : &m_sections[it->second];
}

size_t IniDocument::FindOrAddSection(std::string_view name) {
    auto [it, added] = m_sectionIndex.try_emplace(AsciiLower(name), m_sections.size());
    if (added) {
        m_sections.push_back(Section{std::string(name), {}, {}});
    }
    return it->second;
}

const std::string* IniDocument::Find(std::string_view section, std::string_view name) const {
    const Section* found = FindSection(section);
    if (found == nullptr) {
        return nullptr;
    }
    auto it = found->index.find(AsciiLower(name));
    return it == found->index.end() ? nullptr : &found->entries[it->second].value;
}

bool IniDocument::SetIn(Section& section, std::string_view name, std::string_view value) {
    auto [it, added] = section.index.try_emplace(AsciiLower(name), section.entries.size());
    if (added) {
        section.entries.push_back(Entry{std::string(name), std::string(value)});
        return true;
    }
    std::string& stored = section.entries[it->second].value;
    if (stored == value) {
        return false;
    }
    stored.assign(value);
    return true;
}

bool IniDocument::Set(std::string_view section, std::string_view name, std::string_view value) {
    bool sectionAdded = FindSection(section) == nullptr;
    return SetIn(m_sections[FindOrAddSection(section)], name, value) || sectionAdded;
}

bool IniDocument::RemoveSection(std::string_view section) {
    auto it = m_sectionIndex.find(AsciiLower(section));
    if (it == m_sectionIndex.end()) {
        return false;
    }
    size_t removed = it->second;
    m_sections.erase(m_sections.begin() + static_cast<std::ptrdiff_t>(removed));
    m_sectionIndex.erase(it);
    for (auto& [folded, position] : m_sectionIndex) {
        if (position > removed) {
            --position;
        }
    }
    return true;
}

}  // namespace tapewell
