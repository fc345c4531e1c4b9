#pragma once

#include <atomic>
#include <functional>

namespace tapewell::cli {

// SIGINT and SIGTERM end a long command the way the desktop program's stop
// would. Every command goes through this one handler and its one flag: the
// handler only sets the flag (a stop call is not safe inside a signal
// handler); a command polls StopRequested() in its own loop, or hands the
// stop on to an engine with RunStoppable.
void CatchStopSignals();
const std::atomic<bool>& StopSignalFlag();
inline bool StopRequested() {
    return StopSignalFlag().load();
}

// Catches the signals and runs work on this thread while a watcher thread
// calls stop() once a signal has arrived (again every 50 ms while work runs,
// so that a stop the work cleared at its start is given once more).
void RunStoppable(const std::function<void()>& work, const std::function<void()>& stop);

}  // namespace tapewell::cli
