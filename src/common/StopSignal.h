#pragma once

#include <atomic>

namespace tapewell {

// A stop request that another thread raises and a worker blocked in a
// socket wait notices at once: the flag is what the worker tests between
// operations, and the descriptor becomes readable so that a poll() on it
// wakes. Raise may be called from any thread; Reset only by the worker that
// owns the waits.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    void Raise();
    void Reset();
    bool Raised() const { return m_raised.load(std::memory_order_acquire); }

    // Readable while a raise is pending; -1 when no descriptor could be made
    // (waits then fall back to short slices).
    int WaitFd() const { return m_fd; }
    // Empties the descriptor after a wake that found the flag clear (a raise
    // that a Reset overtook).
    void Drain() const;

private:
    std::atomic<bool> m_raised{false};
    int m_fd = -1;
};

}  // namespace tapewell
