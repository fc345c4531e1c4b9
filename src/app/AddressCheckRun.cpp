#include "app/AddressCheckRun.h"

#include <system_error>

#include "app/RecordList.h"
#include "recording/CmmsThread.h"

namespace tapewell {
namespace {

constexpr std::string_view kFailedPrefix = "(x)";

int FindRowByAddress(const RecordList& list, const std::string& address) {
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.Row(row).cells[kColOriginalFile] == address) {
            return row;
        }
    }
    return RecordList::kNoRow;
}

}  // namespace

AddressCheckRun::AddressCheckRun(RecordList& list, const AppSettings& settings, Post post,
                                 RecordStatusTexts texts)
    : m_list(list), m_settings(settings), m_post(std::move(post)), m_texts(std::move(texts)) {}

AddressCheckRun::~AddressCheckRun() {
    *m_alive = false;
    if (!m_worker.joinable()) {
        return;
    }
    {
        // The probe job is handed over only after its stop was cleared, so
        // one stop is enough; with no job the worker sees m_quit first.
        std::unique_lock lock(m_lock);
        m_quit = true;
        if (m_probeJob != nullptr) {
            m_probeJob->Stop();
        }
        m_wake.notify_all();
    }
    m_worker.join();
}

void AddressCheckRun::SetBusyChanged(std::function<void()> changed) {
    m_busyChanged = std::move(changed);
}

void AddressCheckRun::SetIdleTimeoutMs(int ms) {
    m_idleTimeoutMs = ms;
}

void AddressCheckRun::Start() {
    if (m_busy || !StartWorker()) {
        return;
    }
    m_busy = true;
    m_run = true;
    if (m_busyChanged) {
        m_busyChanged();
    }
    const int first = m_list.FirstSelectedRow();
    CheckFrom(first == RecordList::kNoSelection ? 0 : first);
}

void AddressCheckRun::Stop() {
    m_run = false;
}

bool AddressCheckRun::StartWorker() {
    if (m_worker.joinable()) {
        return true;
    }
    try {
        m_worker = std::thread([this] { Worker(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

// Walks on to the next network row that has not been recorded and hands it
// to the worker; the walk resumes in OnResult.
void AddressCheckRun::CheckFrom(int row) {
    for (; m_run && row < m_list.RowCount(); ++row) {
        m_list.SelectRow(row);
        if (m_list.Row(row).mark != kMarkNetwork) {
            continue;
        }
        m_list.SetCellText(row, kColRecord, m_texts.checking);
        m_current = row;
        {
            std::lock_guard lock(m_lock);
            m_pending = Probe{m_list.Row(row).cells[kColOriginalFile], m_list.UserName(),
                              m_list.Password(), m_settings, m_idleTimeoutMs};
        }
        m_wake.notify_all();
        return;
    }
    Finish();
}

void AddressCheckRun::Finish() {
    m_run = false;
    m_busy = false;
    if (m_busyChanged) {
        m_busyChanged();
    }
}

void AddressCheckRun::OnResult(const std::string& address, bool reachable) {
    // Rows may have been deleted, added or moved while the probe ran.
    const int row = FindRowByAddress(m_list, address);
    if (row >= 0) {
        if (reachable) {
            m_list.SetCellText(row, kColRecord, m_texts.ok);
        } else {
            const std::string name = m_list.GetCellText(row, kColFile);
            if (!name.starts_with(kFailedPrefix)) {
                m_list.SetCellText(row, kColFile, std::string(kFailedPrefix) + name);
            }
            m_list.SetCellText(row, kColRecord, m_texts.error);
        }
        m_current = row + 1;
    }
    // A deleted row: its successors moved up into its place.
    if (!m_run) {
        Finish();
        return;
    }
    CheckFrom(m_current);
}

void AddressCheckRun::Worker() {
    std::unique_lock lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_pending.has_value(); });
        if (m_quit) {
            break;
        }
        const Probe probe = std::move(*m_pending);
        m_pending.reset();
        // A job of its own: no owner to notify and no prompt, so a probe
        // never asks the user anything.
        CmmsThread job(nullptr, 0, probe.settings, {});
        if (probe.idleTimeoutMs > 0) {
            job.SetIdleTimeoutMs(probe.idleTimeoutMs);
        }
        job.ClearStop();
        m_probeJob = &job;
        lock.unlock();
        const bool reachable = job.ProbeUrl(probe.address, probe.user, probe.password);
        lock.lock();
        m_probeJob = nullptr;
        if (m_quit) {
            break;
        }
        lock.unlock();
        m_post([this, alive = m_alive, address = probe.address, reachable] {
            if (*alive) {
                OnResult(address, reachable);
            }
        });
        lock.lock();
    }
}

}  // namespace tapewell
