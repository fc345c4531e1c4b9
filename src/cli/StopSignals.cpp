#include "cli/StopSignals.h"

#include <signal.h>

#include <chrono>
#include <thread>

namespace tapewell::cli {

namespace {

std::atomic<bool> g_stopSignal{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnStopSignal(int) {
    g_stopSignal = true;
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const std::atomic<bool>& StopSignalFlag() {
    return g_stopSignal;
}

void RunStoppable(const std::function<void()>& work, const std::function<void()>& stop) {
    CatchStopSignals();
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done) {
            if (g_stopSignal) {
                stop();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    work();
    done = true;
    watcher.join();
}

}  // namespace tapewell::cli
