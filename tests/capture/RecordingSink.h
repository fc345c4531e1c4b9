#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "capture/CaptureSink.h"

namespace tapewell::test {

// Keeps every call in the order made, as "add ADDRESS|AGENT" and
// "rename ADDRESS|NAME"; safe to read while a receive thread calls it.
class RecordingSink final : public CaptureSink {
public:
    void AddItem(const std::string& address, const std::string& name, const std::string& sizeOption,
                 const std::string& agent) override {
        Push("add " + address + "|" + agent + (name.empty() && sizeOption.empty() ? "" : "|?"));
    }
    void RenameByAddress(const std::string& address, const std::string& name) override {
        Push("rename " + address + "|" + name);
    }
    void OnCaptureEnd(const std::string& error) override {
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_error = error;
        m_changed.notify_all();
    }

    std::vector<std::string> Calls() {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    // Waits until a call starting with `prefix` has come; false at the
    // time-out.
    template <class Duration>
    bool WaitFor(const std::string& prefix, Duration timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            for (const auto& c : m_calls) {
                if (c.starts_with(prefix)) {
                    return true;
                }
            }
            return false;
        });
    }
    template <class Duration>
    bool WaitForEnd(Duration timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_ended; });
    }
    std::string Error() {
        std::lock_guard lock(m_mutex);
        return m_error;
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
    bool m_ended = false;
    std::string m_error;
};

}  // namespace tapewell::test
