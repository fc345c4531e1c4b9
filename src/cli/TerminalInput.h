#pragma once

#include <optional>
#include <string>

#include "engine/JobPrompt.h"

namespace tapewell::cli {

// Questions asked on the terminal (stderr for the question, stdin for the
// answer). Without a terminal on stdin nothing is asked: nullopt.
bool HaveTerminal();
// One answer line; nullopt without a terminal or at the end of input.
std::optional<std::string> AskLine(const std::string& question);
// "Username and Password Required" for site, the password read without
// echo; nullopt when cancelled or either field stays empty.
std::optional<JobPrompt::Credentials> AskCredentialsOnTerminal(const std::string& site,
                                                               const std::string& user);

}  // namespace tapewell::cli
