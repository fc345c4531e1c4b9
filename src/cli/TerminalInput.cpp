#include "cli/TerminalInput.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace tapewell::cli {

bool HaveTerminal() {
    return isatty(STDIN_FILENO) != 0;
}

std::optional<std::string> AskLine(const std::string& question) {
    if (!HaveTerminal()) {
        return std::nullopt;
    }
    std::fputs(question.c_str(), stderr);
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        return std::nullopt;
    }
    return answer;
}

std::optional<JobPrompt::Credentials> AskCredentialsOnTerminal(const std::string& site,
                                                               const std::string& user) {
    const std::optional<std::string> name =
        AskLine("Username and Password Required\nSite : " + site + "\nUsername [" + user + "]: ");
    if (!name) {
        return std::nullopt;
    }
    JobPrompt::Credentials answer;
    answer.user = name->empty() ? user : *name;
    std::fputs("Password: ", stderr);
    termios old{};
    const bool hide = tcgetattr(STDIN_FILENO, &old) == 0;
    if (hide) {
        termios quiet = old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    const bool read = static_cast<bool>(std::getline(std::cin, answer.password));
    if (hide) {
        tcsetattr(STDIN_FILENO, TCSANOW, &old);
    }
    std::fputs("\n", stderr);
    if (!read || answer.user.empty() || answer.password.empty()) {
        return std::nullopt;
    }
    return answer;
}

}  // namespace tapewell::cli
