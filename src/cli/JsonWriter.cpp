#include "cli/JsonWriter.h"

#include <cstdio>

namespace tapewell::cli {

void JsonWriter::Newline() {
    m_out += '\n';
    m_out.append(m_hasMember.size() * 2, ' ');
}

void JsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_hasMember.empty()) {
        if (m_hasMember.back()) {
            m_out += ',';
        }
        m_hasMember.back() = true;
        Newline();
    }
}

void JsonWriter::BeginObject() {
    BeforeValue();
    m_out += '{';
    m_hasMember.push_back(false);
}

void JsonWriter::EndObject() {
    bool had = m_hasMember.back();
    m_hasMember.pop_back();
    if (had) {
        Newline();
    }
    m_out += '}';
    if (m_hasMember.empty()) {
        m_out += '\n';
    }
}

void JsonWriter::BeginArray() {
    BeforeValue();
    m_out += '[';
    m_hasMember.push_back(false);
}

void JsonWriter::EndArray() {
    bool had = m_hasMember.back();
    m_hasMember.pop_back();
    if (had) {
        Newline();
    }
    m_out += ']';
}

JsonWriter& JsonWriter::Key(std::string_view key) {
    BeforeValue();
    AppendQuoted(key);
    m_out += ": ";
    m_afterKey = true;
    return *this;
}

void JsonWriter::String(std::string_view value) {
    BeforeValue();
    AppendQuoted(value);
}

void JsonWriter::Int(int64_t value) {
    BeforeValue();
    m_out += std::to_string(value);
}

void JsonWriter::UInt(uint64_t value) {
    BeforeValue();
    m_out += std::to_string(value);
}

void JsonWriter::Null() {
    BeforeValue();
    m_out += "null";
}

void JsonWriter::AppendQuoted(std::string_view text) {
    m_out += '"';
    for (char c : text) {
        switch (c) {
            case '"':
                m_out += "\\\"";
                break;
            case '\\':
                m_out += "\\\\";
                break;
            case '\n':
                m_out += "\\n";
                break;
            case '\r':
                m_out += "\\r";
                break;
            case '\t':
                m_out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char esc[8];
                    std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned char>(c));
                    m_out += esc;
                } else {
                    m_out += c;
                }
        }
    }
    m_out += '"';
}

}  // namespace tapewell::cli
