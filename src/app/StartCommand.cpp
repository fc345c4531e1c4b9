#include "app/StartCommand.h"

#include <array>

#include "common/PercentDecode.h"

namespace tapewell {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool IsSwitch(std::string_view arg) {
    constexpr std::array<std::string_view, 4> kSwitches{"/Open", "/Play", "/Rec", "/Record"};
    for (std::string_view known : kSwitches) {
        if (EqualsIgnoringCase(arg, known)) {
            return true;
        }
    }
    return false;
}

int ModeOfSwitch(std::string_view arg) {
    if (arg.starts_with("/Open")) {
        return kStartOpen;
    }
    if (arg.starts_with("/Play")) {
        return kStartPlay;
    }
    if (arg.starts_with("/Rec")) {
        return kStartRecord;
    }
    return kStartPlay;
}

}  // namespace

std::string FileUriToPath(std::string_view text) {
    constexpr std::string_view kScheme = "file://";
    if (text.size() < kScheme.size() ||
        !EqualsIgnoringCase(text.substr(0, kScheme.size()), kScheme)) {
        return std::string(text);
    }
    std::string_view rest = text.substr(kScheme.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return std::string(text);
    }
    const std::string_view host = rest.substr(0, slash);
    if (!host.empty() && !EqualsIgnoringCase(host, "localhost")) {
        return std::string(text);  // another machine's file: not a local path
    }
    return PercentDecode(rest.substr(slash));
}

StartCommand ParseStartMode(const std::vector<std::string>& args) {
    StartCommand command;
    if (!args.empty() && IsSwitch(args.front())) {
        command.mode = ModeOfSwitch(args.front());
    }
    for (const std::string& arg : args) {
        if (!IsSwitch(arg)) {
            command.item = FileUriToPath(arg);
            break;
        }
    }
    return command;
}

ItemText SplitItemText(std::string_view text) {
    constexpr std::string_view kSeparator = "&&";
    constexpr std::string_view kNoOption = "0";
    const size_t first = text.find(kSeparator);
    if (first == std::string_view::npos) {
        return ItemText{std::string(text), {}, std::string(kNoOption)};
    }
    const std::string_view rest = text.substr(first + kSeparator.size());
    const size_t second = rest.find(kSeparator);
    if (second == std::string_view::npos) {
        return ItemText{std::string(text.substr(0, first)), std::string(rest),
                        std::string(kNoOption)};
    }
    return ItemText{std::string(text.substr(0, first)), std::string(rest.substr(0, second)),
                    std::string(rest.substr(second + kSeparator.size()))};
}

}  // namespace tapewell
