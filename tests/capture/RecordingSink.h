#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "capture/CaptureSink.h"

namespace tapewell::test {

// Keeps every call as "add ADDRESS|AGENT" or "rename ADDRESS|NAME" (capture
// passes no name or size option); safe to read while a receive thread calls.
class RecordingSink final : public CaptureSink {
public:
    void AddItem(const std::string& address, const std::string& name, const std::string& size,
                 const std::string& agent) override {
        Push("add " + address + "|" + agent + (name + size).substr(0, 1));
    }
    void RenameByAddress(const std::string& address, const std::string& name) override {
        Push("rename " + address + "|" + name);
    }
    void OnCaptureEnd(const std::string& error, const std::string& warning) override {
        Push("end " + error + (warning.empty() ? "" : "|warning " + warning));
    }

    std::vector<std::string> Calls() {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    // Whether a call starting with `prefix` comes within the time-out.
    bool WaitFor(const std::string& prefix, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            return std::ranges::any_of(m_calls, [&](auto& c) { return c.starts_with(prefix); });
        });
    }

private:
    void Push(std::string call) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_calls;
};

}  // namespace tapewell::test
