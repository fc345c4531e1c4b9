#include "app/UrlSeries.h"

#include <utility>

namespace tapewell {
namespace {

constexpr std::string_view kBlanks = " \t";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Where the extension of name starts and ends; both are name.size() when it
// has none. A "." at the very start begins a name, not an extension.
std::pair<size_t, size_t> ExtensionRange(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {name.size(), name.size()};
    }
    const size_t query = name.find('?', dot);
    return {dot, query == std::string_view::npos ? name.size() : query};
}

// The position whose digit the series raises: the last digit outside the
// extension from the end down to the second character, else the first.
size_t RaisedPosition(std::string_view name) {
    const auto [extBegin, extEnd] = ExtensionRange(name);
    for (size_t i = name.size(); i-- > 1;) {
        if (IsDigit(name[i]) && (i < extBegin || i >= extEnd)) {
            return i;
        }
    }
    return 0;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

std::string LimitText() {
    return std::to_string(kMaxAddressLineBytes) + " bytes";
}

ErrorOr<void> CheckGiven(const std::string& address, const char* which) {
    if (address.size() > kMaxAddressLineBytes) {
        return Error::FromMessage(std::string("The ") + which + " address is " +
                                  std::to_string(address.size()) +
                                  " bytes long; an address may have at most " + LimitText() + ".");
    }
    if (address.find_first_of("\r\n") != std::string::npos) {
        return Error::FromMessage(std::string("The ") + which +
                                  " address holds a line break; it must be one line.");
    }
    return {};
}

// A name of the end's length that does not sort before it (byte-wise) is
// the last of the series.
bool ReachesEnd(const std::string& name, const std::string& endName) {
    return name.size() == endName.size() && name >= endName;
}

}  // namespace

std::string Increment(std::string_view name) {
    if (name.empty()) {
        return "1";
    }
    std::string next(name);
    size_t at = RaisedPosition(name);
    for (;;) {
        if (!IsDigit(next[at])) {
            next.insert(at + 1, 1, '1');
            break;
        }
        if (next[at] < '9') {
            ++next[at];
            break;
        }
        next[at] = '0';
        if (at == 0) {
            next.insert(0, 1, '1');
            break;
        }
        --at;
    }
    return Trimmed(next);
}

ErrorOr<std::vector<std::string>> Expand(const std::string& start, const std::string& end) {
    if (auto checked = CheckGiven(start, "start"); !checked) {
        return std::move(checked).error();
    }
    if (auto checked = CheckGiven(end, "end"); !checked) {
        return std::move(checked).error();
    }
    std::vector<std::string> lines{start};
    if (end.empty()) {
        return lines;
    }
    const size_t slash = start.rfind('/');
    const std::string prefix =
        slash == std::string::npos ? std::string() : start.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? start : start.substr(slash + 1);
    const size_t endSlash = end.rfind('/');
    const std::string endName = endSlash == std::string::npos ? end : end.substr(endSlash + 1);
    // A start that is already the end (or past it) has nothing after it: the
    // test below would never hold for the longer names that follow, and the
    // series would run to the line limit.
    if (ReachesEnd(name, endName)) {
        return lines;
    }

    while (lines.size() < kMaxSeriesLines) {
        name = Increment(name);
        if (prefix.size() + name.size() > kMaxAddressLineBytes) {
            return Error::FromMessage("The series reaches an address longer than " + LimitText() +
                                      " after " + std::to_string(lines.size()) + " lines.");
        }
        lines.push_back(prefix + name);
        // An end the series never meets stops at the line limit.
        if (ReachesEnd(name, endName)) {
            break;
        }
    }
    return lines;
}

}  // namespace tapewell
