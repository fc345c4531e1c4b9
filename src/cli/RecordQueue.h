#pragma once

#include <string>
#include <vector>

#include "settings/AppSettings.h"

namespace tapewell {
class ProfileStore;
}

namespace tapewell::cli {

// Stopped by a signal, by "quit" at an existing file, or before a planned
// start.
inline constexpr int kExitStopped = 2;

enum class ResumeMode { Yes, No, Ask };
enum class ExistsMode { Overwrite, Rename, Skip, Quit, Ask };

// One ADDRESS [NAME] of the command line, or an address a job found.
struct RecordItem {
    std::string address;
    std::string name;
};

// How record runs its items: the settings with the options applied, the
// answers to the jobs' questions and how many jobs run at once.
struct RecordRun {
    AppSettings settings;
    ResumeMode resume = ResumeMode::Yes;
    ExistsMode exists = ExistsMode::Rename;
    int parallel = 1;
    bool quiet = false;
    bool terminal = false;  // stdout is a terminal: one job's progress updates in place
    std::string streams;    // CmmsThread::Item::streams of every job
    ProfileStore* profile = nullptr;
};

// Records the items in order, up to run.parallel at once, each on a job of
// its own; the addresses a job finds are recorded next. SIGINT and SIGTERM
// stop every job (each file is finished). Prints 'file PATH', progress,
// 'found ADDRESS', 'skipped PATH' and 'reconnect N' on stdout, the jobs'
// errors on stderr. Returns the exit status: kExitOk when every job
// completed, kExitFailure when one failed, kExitStopped when stopped.
int RecordItems(RecordRun run, std::vector<RecordItem> items);

}  // namespace tapewell::cli
