#include "common/StopSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace tapewell {

StopSignal::StopSignal() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

StopSignal::~StopSignal() {
    if (m_fd >= 0)
        close(m_fd);
}

void StopSignal::Raise() {
    m_raised.store(true, std::memory_order_release);
    if (m_fd >= 0) {
        uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_fd, &one, sizeof one);
    }
}

void StopSignal::Reset() {
    // Clear first, then drain: a raise that lands in between leaves the flag
    // set, and one that lands after the drain leaves the descriptor readable.
    m_raised.store(false, std::memory_order_release);
    Drain();
}

void StopSignal::Drain() const {
    if (m_fd >= 0) {
        uint64_t count;
        [[maybe_unused]] ssize_t n = read(m_fd, &count, sizeof count);
    }
}

}  // namespace tapewell
