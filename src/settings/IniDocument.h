#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tapewell {

// The settings file in memory: sections of named text values, kept in the
// order they were first seen so that a rewritten file reads like the old one.
//
// Section and value names compare without regard to ASCII case, as registry
// key and value names do, and a value written again keeps the spelling its
// name was first stored with. The empty value name stands for a section's
// unnamed default value.
//
// Text form (UTF-8): "[section]" lines, "name=value" lines, comment lines
// starting with ';' or '#'. Anything that would break that line structure
// (line breaks, '%', blanks at either end, brackets in section names, '=' in
// value names, ...) is written as %XX; the unnamed default value is written
// under the name "@". Parse never fails: lines it cannot read are skipped,
// and comments are not kept when the document is written out again.
class IniDocument {
public:
    static IniDocument Parse(std::string_view text);
    std::string Serialize() const;

    // nullptr when the section or the value is missing. The pointer is valid
    // until the document is next changed.
    const std::string* Find(std::string_view section, std::string_view name) const;

    // Both return whether the document changed.
    bool Set(std::string_view section, std::string_view name, std::string_view value);
    bool RemoveSection(std::string_view section);

private:
    struct Entry {
        std::string name;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
        std::unordered_map<std::string, size_t> index;  // folded name -> entries
    };

    const Section* FindSection(std::string_view name) const;
    size_t FindOrAddSection(std::string_view name);  // position in m_sections
    static bool SetIn(Section& section, std::string_view name, std::string_view value);
    void ParseLine(std::string_view line, size_t& current);

    std::vector<Section> m_sections;
    std::unordered_map<std::string, size_t> m_sectionIndex;  // folded name -> m_sections
};

}  // namespace tapewell
