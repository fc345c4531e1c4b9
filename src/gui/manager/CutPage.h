#pragma once

#include <QWidget>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <thread>

#include "asf/AsfInfo.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace tapewell {
class ProfileStore;
}

namespace tapewell::gui {

class PreviewControl;

// "Cut": writes a range of whole seconds of the open file to a new ASF file
// with AsfCutter on a worker thread. The worker never touches a widget: its
// progress and its end reach the page through queued calls, which Qt drops
// once the page is gone. The page cancels and joins a running cut before it
// goes, or before it takes another file.
class CutPage : public QWidget {
    Q_OBJECT
public:
    CutPage(PreviewControl& preview, ProfileStore& profile, QWidget* parent = nullptr);
    ~CutPage() override;

    // A file was opened: the range becomes all of it (0 to
    // GetDurationSeconds) and the output "<name>_cut.<ext>" beside it.
    void Setup(const AsfInfo& info);
    // Cancels a running cut and waits for its thread; its output is not
    // left behind.
    void CancelCut();
    bool IsCutting() const { return m_worker.joinable(); }

    int Start() const { return m_start; }
    int End() const { return m_end; }
    std::filesystem::path Output() const;

    QLineEdit* OutputEdit() const { return m_output; }
    QPushButton* BrowseButton() const { return m_browse; }
    QPushButton* StartButton() const { return m_takeStart; }
    QPushButton* EndButton() const { return m_takeEnd; }
    QSpinBox* StartSpin() const { return m_startSpin; }
    QSpinBox* EndSpin() const { return m_endSpin; }
    QCheckBox* RepeatBox() const { return m_repeat; }
    QPushButton* CutButton() const { return m_cut; }
    QPushButton* PlayButton() const { return m_play; }
    QPushButton* DeleteButton() const { return m_delete; }
    QProgressBar* Progress() const { return m_progress; }
    QLabel* LengthLabel() const { return m_lengthText; }

private:
    QWidget* BuildRange();
    QWidget* BuildActions();
    void SetRange(int start, int end);
    void OnStartSpin(int value);
    void OnEndSpin(int value);
    void TakeSliderStart();
    void TakeSliderEnd();
    void Browse();
    void StartCut();
    // Worker thread: only posts.
    void OnWorkerProgress(uint64_t done, uint64_t total);
    void ShowProgress();
    void OnCutDone(uint64_t serial, std::optional<QString> failure);
    void PlayOutput();
    void DeleteOutput();
    void UpdateOutputButtons();

    PreviewControl& m_preview;
    ProfileStore& m_profile;
    AsfInfo m_info;
    bool m_hasFile = false;
    int m_start = 0;
    int m_end = 0;

    std::thread m_worker;
    std::atomic<bool> m_cancel{false};
    // Which cut a finishing post belongs to: one from a cut cancelled by
    // Setup or CancelCut finds a newer serial and is ignored.
    uint64_t m_serial = 0;
    std::atomic<uint64_t> m_done{0};
    std::atomic<uint64_t> m_total{0};
    std::atomic<bool> m_progressPending{false};

    QLineEdit* m_output;
    QPushButton* m_browse;
    QLabel* m_startText;
    QLabel* m_endText;
    QLabel* m_lengthText;
    QSpinBox* m_startSpin;
    QSpinBox* m_endSpin;
    QPushButton* m_takeStart;
    QPushButton* m_takeEnd;
    QPushButton* m_jumpStart;
    QPushButton* m_jumpEnd;
    QCheckBox* m_repeat;
    QPushButton* m_cut;
    QPushButton* m_play;
    QPushButton* m_delete;
    QProgressBar* m_progress;
};

}  // namespace tapewell::gui
