#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

namespace tapewell {

// One callback that streaming threads call and the player's thread sets.
// The callback runs with no lock held: a window's callback may wait for the
// window's thread while that thread installs another callback, without a
// deadlock. Each call keeps its own reference to the callback it started
// with, so a callback that is replaced mid-call stays alive until that call
// has returned.
template <typename Fn>
class CallbackSlot {
public:
    // Streaming thread: hands the callback, if one is set, to invoke. False
    // when none is set.
    template <typename Invoke>
    bool CallWith(Invoke&& invoke) {
        std::shared_ptr<const Fn> callback;
        {
            std::lock_guard lock(m_mutex);
            if (!m_callback) {
                return false;
            }
            callback = m_callback;
            ++m_inFlight;
        }
        std::forward<Invoke>(invoke)(*callback);
        // A replaced callback's last reference goes here, before Remove may
        // return, so what it captured is gone when its remover goes on.
        callback.reset();
        std::lock_guard lock(m_mutex);
        --m_inFlight;
        // Under the lock: Remove's caller may destroy the slot once it sees
        // no call in flight.
        m_idle.notify_all();
        return true;
    }

    // Calls that start from now on go to callback (none when it is empty).
    // Returns at once: a call of the previous callback in flight may still be
    // running. Safe from inside the callback.
    void Set(Fn callback) {
        std::shared_ptr<const Fn> fresh;
        if (callback) {
            fresh = std::make_shared<const Fn>(std::move(callback));
        }
        std::shared_ptr<const Fn> previous;
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_callback, std::move(fresh));
    }  // previous is let go after the lock

    // Empties the slot and returns once every call in flight has returned,
    // so that the caller may free what the callbacks used. The wait holds no
    // lock a call needs, but a callback that waits for the remover's thread
    // keeps it waiting: never from inside the callback.
    void Remove() {
        std::shared_ptr<const Fn> previous;
        std::unique_lock lock(m_mutex);
        previous = std::exchange(m_callback, nullptr);
        m_idle.wait(lock, [this] { return m_inFlight == 0; });
    }

private:
    std::mutex m_mutex;  // guards what follows; never held during a call
    std::condition_variable m_idle;
    std::shared_ptr<const Fn> m_callback;
    int m_inFlight = 0;
};

}  // namespace tapewell
