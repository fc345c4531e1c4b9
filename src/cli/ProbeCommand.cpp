#include <cstdio>
#include <string>

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "recording/CmmsThread.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::cli {
namespace {

constexpr const char* kUsage =
    "Usage: tapewell-cli probe ADDRESS\n"
    "\n"
    "Checks whether ADDRESS can be fetched, as the record list's URL check\n"
    "does: the engines are tried in the address's order and nothing is\n"
    "written. Prints 'ok' (exit 0) or 'error TEXT' (exit 1).\n";

}  // namespace

int RunProbe(std::span<char* const> args) {
    ParsedArgs parsed;
    if (auto exit = StartCommand("probe", args, {}, kUsage, 1, parsed)) {
        return *exit;
    }
    if (auto problem = AddressProblem(parsed.positional[0])) {
        std::printf("error %s\n", problem->c_str());
        return kExitFailure;
    }
    ProfileStore profile(ProfileStore::DefaultPath());
    AppSettings settings;
    settings.LoadValues(profile);
    CmmsThread job(nullptr, 0, settings, {}, nullptr, &profile);
    if (job.ProbeUrl(parsed.positional[0], settings.m_userName, settings.m_password)) {
        std::puts("ok");
        return kExitOk;
    }
    const std::string text = job.ErrorText();
    std::printf("error %s\n", text.empty() ? "no engine reached the address" : text.c_str());
    return kExitFailure;
}

}  // namespace tapewell::cli
