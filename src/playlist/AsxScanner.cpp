#include "playlist/AsxScanner.h"

#include "common/Limits.h"
#include "common/XmlText.h"

namespace tapewell {

namespace {

// The end-of-text mark: seen once after the last byte, and a blank.
constexpr int kEndOfText = -1;

bool IsBlank(int c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == kEndOfText;
}

// ASCII letters only: digits and bytes of national code pages are not.
bool IsLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

const char* const kSyntaxMessages[] = {
    "ASF syntax error 1!\n", "ASF syntax error 2!\n", "ASF syntax error 3!\n",
    "ASF syntax error 4!\n", "ASF syntax error 5!\n", "ASF syntax error 6!\n",
    "ASF syntax error 7!\n", "ASF syntax error 8!\n",
};

}  // namespace

AsxScanner::AsxScanner(TagCallback onTag, MessageCallback onSyntaxError)
    : m_onTag(std::move(onTag)), m_onSyntaxError(std::move(onSyntaxError)) {}

AsxMode AsxScanner::Scan(std::string_view text) {
    m_state = State::FirstWord;
    m_skipBlanks = true;
    m_closing = false;
    m_mode = AsxMode::Undecided;
    m_name.clear();
    m_text.clear();
    m_slots.clear();
    for (size_t i = 0; i < text.size() && m_mode == AsxMode::Undecided; ++i) {
        Step(static_cast<unsigned char>(text[i]));
    }
    if (m_mode == AsxMode::Undecided) {
        Step(kEndOfText);
    }
    return m_mode;
}

void AsxScanner::Step(int c) {
    if (m_skipBlanks && IsBlank(c)) {
        return;
    }
    switch (m_state) {
        case State::FirstWord:
            if (c == '<') {
                StartTag();
            } else if (c == '[') {
                m_mode = AsxMode::ReferenceList;
            } else if (IsLetter(c)) {
                AppendName(static_cast<char>(c));
                m_skipBlanks = false;
            } else {
                // The first word ends here; any first word makes a plain list.
                m_mode = AsxMode::PlainList;
            }
            break;
        case State::BetweenTags:
            if (c == '<') {
                StartTag();
            }
            break;
        case State::TagOpen:
        case State::TagName:
        case State::AfterSlash:
            StepTagStart(c);
            break;
        case State::BetweenAttributes:
            StepInTag(c);
            break;
        case State::AttributeName:
        case State::AfterAttributeName:
            StepAttribute(c);
            break;
        case State::AfterEquals:
        case State::BareValue:
        case State::QuotedValue:
            StepValue(c);
            break;
    }
}

// TagOpen, TagName and AfterSlash.
void AsxScanner::StepTagStart(int c) {
    if (m_state == State::TagOpen) {
        if (c == '/') {
            m_closing = true;
        } else if (IsLetter(c)) {
            m_state = State::TagName;
            m_skipBlanks = false;
            AppendName(static_cast<char>(c));
        } else {
            SyntaxError(2);
        }
    } else if (m_state == State::TagName) {
        if (IsBlank(c)) {
            m_state = State::BetweenAttributes;
            m_skipBlanks = true;
        } else if (IsLetter(c)) {
            AppendName(static_cast<char>(c));
        } else if (c == '/') {
            m_closing = true;
            m_state = State::AfterSlash;
            m_skipBlanks = true;
        } else if (c == '>') {
            CompleteTag();
        } else {
            SyntaxError(3);
        }
    } else if (c == '>') {
        CompleteTag();
    } else {
        SyntaxError(8);
    }
}

// BetweenAttributes.
void AsxScanner::StepInTag(int c) {
    if (IsLetter(c)) {
        m_attributeKept = m_slots.size() < limits::kAsxMaxAttributes;
        if (m_attributeKept) {
            m_slots.push_back(Slot{m_text.size(), 0, false});
        }
        m_state = State::AttributeName;
        m_skipBlanks = false;
        AppendText(static_cast<char>(c));
    } else if (c == '/') {
        m_closing = true;
        m_state = State::AfterSlash;
        m_skipBlanks = true;
    } else if (c == '>') {
        CompleteTag();
    } else {
        SyntaxError(4);
    }
}

// AttributeName and AfterAttributeName.
void AsxScanner::StepAttribute(int c) {
    if (m_state == State::AttributeName) {
        if (IsLetter(c)) {
            AppendText(static_cast<char>(c));
            return;
        }
        EndText();
        m_state = State::AfterAttributeName;
        m_skipBlanks = true;
        if (IsBlank(c)) {
            return;
        }
    }
    if (c == '/') {
        m_closing = true;
        m_state = State::AfterSlash;
        m_skipBlanks = true;
    } else if (c == '>') {
        CompleteTag();
    } else if (c == '=') {
        if (m_attributeKept) {
            m_slots.back().valueAt = m_text.size();
            m_slots.back().hasValue = true;
        }
        m_state = State::AfterEquals;
        m_skipBlanks = true;
    } else {
        SyntaxError(5);
    }
}

// AfterEquals, BareValue and QuotedValue.
void AsxScanner::StepValue(int c) {
    if (m_state == State::AfterEquals) {
        if (c == '"') {
            m_state = State::QuotedValue;
            m_skipBlanks = false;
            return;
        }
        if (c == '/') {
            SyntaxError(6);
            return;
        }
        m_state = State::BareValue;
    }
    if (m_state == State::QuotedValue) {
        if (c == '"') {
            EndText();
            m_state = State::BetweenAttributes;
            m_skipBlanks = true;
        } else if (c != kEndOfText) {
            AppendText(static_cast<char>(c));
        }
        return;
    }
    if (c == '"' || c == '=') {
        SyntaxError(7);
    } else if (IsBlank(c)) {
        EndText();
        m_state = State::BetweenAttributes;
        m_skipBlanks = true;
    } else if (c == '/') {
        EndText();
        m_closing = true;
        m_state = State::AfterSlash;
        m_skipBlanks = true;
    } else if (c == '>') {
        EndText();
        CompleteTag();
    } else {
        AppendText(static_cast<char>(c));
        m_skipBlanks = false;
    }
}

void AsxScanner::StartTag() {
    m_closing = false;
    m_name.clear();
    m_text.clear();
    m_slots.clear();
    m_attributeKept = false;
    m_state = State::TagOpen;
    m_skipBlanks = true;
}

void AsxScanner::CompleteTag() {
    m_state = State::BetweenTags;
    m_skipBlanks = true;
    if (!m_onTag) {
        return;
    }
    AsxTag tag;
    tag.name = m_name;
    tag.closing = m_closing;
    tag.attributes.reserve(m_slots.size());
    for (const Slot& slot : m_slots) {
        AsxAttribute attribute;
        attribute.name = TextAt(slot.nameAt);
        attribute.hasValue = slot.hasValue;
        if (slot.hasValue) {
            attribute.value = DecodeEntities(TextAt(slot.valueAt), EntityNames::Xml);
        }
        tag.attributes.push_back(std::move(attribute));
    }
    m_onTag(tag);
}

void AsxScanner::SyntaxError(int number) {
    if (m_onSyntaxError) {
        m_onSyntaxError(kSyntaxMessages[number - 1]);
    }
    m_state = State::BetweenTags;
    m_skipBlanks = true;
}

void AsxScanner::AppendName(char c) {
    if (m_name.size() + 1 < limits::kAsxTagNameBytes) {
        m_name.push_back(c);
    }
}

// Every name and value keeps room for its terminator, so the text of one
// tag never passes limits::kAsxAttributeTextBytes.
void AsxScanner::AppendText(char c) {
    if (m_text.size() + 2 <= limits::kAsxAttributeTextBytes) {
        m_text.push_back(c);
    }
}

void AsxScanner::EndText() {
    if (m_text.size() < limits::kAsxAttributeTextBytes) {
        m_text.push_back('\0');
    }
}

std::string AsxScanner::TextAt(size_t at) const {
    if (at >= m_text.size()) {
        return {};
    }
    const size_t end = m_text.find('\0', at);
    return m_text.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

}  // namespace tapewell
