#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tapewell {

// One attribute of a tag as the scanner kept it. hasValue is set by "=";
// the value may still be empty.
struct AsxAttribute {
    std::string name;
    std::string value;
    bool hasValue = false;
};

// A complete tag: its name (cut at limits::kAsxTagNameBytes - 1 bytes),
// whether a "/" was seen in it, and its attributes in document order. The
// values come with XML's character references decoded ("&amp;" gives "&"),
// as the players that read ASX as XML take them; an "&" that starts no
// whole reference, common in hand-written query strings, is kept.
struct AsxTag {
    std::string name;
    bool closing = false;
    std::vector<AsxAttribute> attributes;
};

// How the first non-blank character of a text decided it: "<" keeps the
// tag scan going to the end (Undecided), "[" makes it a "[Reference]" list,
// anything else a plain list. The tag scan stops as soon as a list mode is
// decided; reading the list is the caller's business.
enum class AsxMode { Undecided, ReferenceList, PlainList };

// The ASX tag scanner shared by every playlist reader: a small state
// machine over the text's bytes with a skip-blanks switch.
// Complete tags go to onTag; a syntax error ("ASF syntax error N!\n",
// N = 2..8) goes to onSyntaxError and the scan goes on after the bad tag.
// Text between tags is not kept; a tag still open at the end is dropped.
// Every buffer is bounded (see limits::kAsx*): longer names and attribute
// text are cut, extra attributes dropped. Runs on the caller's thread.
class AsxScanner {
public:
    using TagCallback = std::function<void(const AsxTag&)>;
    using MessageCallback = std::function<void(const char*)>;

    AsxScanner(TagCallback onTag, MessageCallback onSyntaxError);
    AsxMode Scan(std::string_view text);

private:
    // Where the scan stands in the text.
    enum class State {
        FirstWord,           // before the first tag: "<", "[" or a word decides
        BetweenTags,         // text between tags, skipped up to the next "<"
        TagOpen,             // after "<"
        TagName,             // in the tag's name
        BetweenAttributes,   // after the name or a value
        AttributeName,       // in an attribute's name
        AfterAttributeName,  // after the name, before "=", "/" or ">"
        AfterEquals,         // after "=", before the value
        BareValue,           // in an unquoted value
        QuotedValue,         // in a value inside double quotes
        AfterSlash,          // after "/" in a tag: only ">" may follow
    };

    struct Slot {
        size_t nameAt = 0;
        size_t valueAt = 0;
        bool hasValue = false;
    };

    void Step(int c);
    void StepTagStart(int c);
    void StepInTag(int c);
    void StepAttribute(int c);
    void StepValue(int c);
    void StartTag();
    void CompleteTag();
    void SyntaxError(int number);
    void AppendName(char c);
    void AppendText(char c);
    void EndText();
    std::string TextAt(size_t at) const;

    TagCallback m_onTag;
    MessageCallback m_onSyntaxError;
    State m_state = State::FirstWord;
    bool m_skipBlanks = true;
    bool m_closing = false;
    AsxMode m_mode = AsxMode::Undecided;
    std::string m_name;
    std::string m_text;
    std::vector<Slot> m_slots;
    bool m_attributeKept = false;  // the current attribute has a slot
};

}  // namespace tapewell
