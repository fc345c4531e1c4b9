#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tapewell::cli {

// A small streaming JSON writer for the CLI's machine-readable output:
// objects, arrays, strings, integers, booleans and null, with commas and
// indentation handled here so the commands only say what to write.
class JsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    JsonWriter& Key(std::string_view key);
    void String(std::string_view value);
    void Int(int64_t value);
    void UInt(uint64_t value);
    void Null();

    const std::string& Text() const { return m_out; }

private:
    void BeforeValue();
    void Newline();
    void AppendQuoted(std::string_view text);

    std::string m_out;
    // One entry per open container: whether it has had a member yet.
    std::vector<bool> m_hasMember;
    bool m_afterKey = false;
};

}  // namespace tapewell::cli
