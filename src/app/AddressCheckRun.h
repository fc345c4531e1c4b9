#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/RecordScheduler.h"
#include "settings/AppSettings.h"

namespace tapewell {

class CmmsThread;
class RecordList;

// "URL Check": walks the rows from the first selected one (or row 0) to
// the end and probes every network row that is not recorded yet, one at a
// time, marking it "Ok" or "Error" (and its name "(x)..." once).
//
// The list's thread drives the walk: it selects the row, writes "Checking"
// and hands the address to one worker thread, which probes it with a job of
// its own (no owner, no prompt questions). The result comes back through
// `post`, which must run the closure on the list's thread later (the desktop
// program: a queued call; tests: a queue they drain). A result lands on the
// row that has that address then, or nowhere when it was deleted; the walk
// goes on from that row.
class AddressCheckRun {
public:
    using Post = std::function<void(std::function<void()>)>;

    // settings is read on the list's thread at each probe, so a change of
    // the preferences counts from the next row on; it must outlive the run.
    AddressCheckRun(RecordList& list, const AppSettings& settings, Post post,
                    RecordStatusTexts texts = {});
    // Stops the probe under way and joins the worker.
    ~AddressCheckRun();
    AddressCheckRun(const AddressCheckRun&) = delete;
    AddressCheckRun& operator=(const AddressCheckRun&) = delete;

    // "Start"; nothing while a run is busy.
    void Start();
    // "Stop": the probe under way finishes, nothing follows it.
    void Stop();
    // A run has begun and its last result has not come back yet.
    bool Busy() const { return m_busy; }
    // Called when Busy() may have changed.
    void SetBusyChanged(std::function<void()> changed);

    // For tests: how long a probe waits for a silent peer.
    void SetIdleTimeoutMs(int ms);

private:
    // What the worker is handed: everything it needs, so that it reads
    // nothing of the list or of the settings the window may change.
    struct Probe {
        std::string address;
        std::string user;
        std::string password;
        AppSettings settings;
        int idleTimeoutMs = 0;
    };

    void CheckFrom(int row);
    void Finish();
    void OnResult(const std::string& address, bool reachable);
    bool StartWorker();
    void Worker();

    RecordList& m_list;
    const AppSettings& m_settings;
    Post m_post;
    RecordStatusTexts m_texts;
    std::function<void()> m_busyChanged;
    bool m_busy = false;
    bool m_run = false;
    int m_idleTimeoutMs = 0;
    int m_current = 0;  // the row being probed; where the walk goes on if it is deleted

    // Shared with the worker, under m_lock.
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::optional<Probe> m_pending;
    bool m_quit = false;
    CmmsThread* m_probeJob = nullptr;  // the job probing now, for a stop at exit
    // False once this object is gone: results still queued are dropped.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    std::thread m_worker;
};

}  // namespace tapewell
