#include "player/HtmlToText.h"

#include "common/XmlText.h"

namespace tapewell {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";

void TrimRight(std::string& text) {
    auto end = text.find_last_not_of(kBlanks);
    text.erase(end == std::string::npos ? 0 : end + 1);
}

void Trim(std::string& text) {
    TrimRight(text);
    text.erase(0, text.find_first_not_of(kBlanks));
}

std::string_view TrimLeft(std::string_view text) {
    auto start = text.find_first_not_of(kBlanks);
    return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

bool IsBreakTag(std::string_view tag) {
    return tag.size() == 2 && (tag[0] == 'b' || tag[0] == 'B') && (tag[1] == 'r' || tag[1] == 'R');
}

// Replaces every `from` by `to`; returns whether there was one.
bool ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    std::string out;
    size_t done = 0;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, done)) {
        out.append(text, done, at - done);
        out.append(to);
        done = at + from.size();
    }
    if (done == 0) {
        return false;
    }
    out.append(text, done);
    text = std::move(out);
    return true;
}

}  // namespace

std::string HtmlToText(std::string_view input) {
    std::string result;
    std::string_view rest = input;
    for (size_t lt = rest.find('<'); lt != std::string_view::npos; lt = rest.find('<')) {
        size_t gt = rest.find('>', lt);
        if (gt == std::string_view::npos) {
            break;
        }
        std::string_view tag = rest.substr(lt + 1, gt - lt - 1);
        result.append(rest.substr(0, lt));
        // Trimming after every tag is why a line break survives only when
        // text follows it before the next tag.
        Trim(result);
        rest = TrimLeft(rest.substr(gt + 1));
        if (IsBreakTag(tag)) {
            result += '\n';
        }
    }
    result.append(rest);
    TrimRight(result);
    // Some caption files leave out the entity's semicolon.
    if (!ReplaceAll(result, "&nbsp;", " ")) {
        ReplaceAll(result, "&nbsp", " ");
    }
    return DecodeEntities(result, EntityNames::Html);
}

}  // namespace tapewell
