#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

#include <atomic>

#include "asf/AsfInfo.h"
#include "gui/manager/PreviewControl.h"
#include "player/MediaPlayer.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace tapewell {
class AppSettings;
class FrameSnapshot;
class ProfileStore;
}  // namespace tapewell

namespace tapewell::gui {

class CapturePage;
class CutPage;
class InfoPage;
class SelectionSlider;
class VideoCanvas;

// "ASF Manager": one local ASF file parsed with AsfInfo and played in a
// preview of its own, with three pages: cutting a range into a new file,
// saving pictures of the video, and the file's information. Opened modal
// through UiPrompt.
//
// The preview's one frame callback (streaming thread) feeds the canvas and,
// while the capture page captures, its FrameSnapshot. Closing the window
// cancels and joins a running cut, lets go of the snapshot and removes the
// frame callback before any widget goes.
class AsfManagerDialog : public QDialog, public PreviewControl {
    Q_OBJECT
public:
    enum Page { kCutPage = 0, kCapturePage = 1, kInfoPage = 2 };
    // Play states of the preview.
    static constexpr int kStopped = 0;
    static constexpr int kPaused = 1;
    static constexpr int kPlaying = 2;
    static constexpr int kTickMs = 100;

    // path may be empty; settings (base folder) and profile (("Path",
    // "video")) outlive the dialog.
    AsfManagerDialog(const QString& path, Page page, const AppSettings& settings,
                     ProfileStore& profile, QWidget* parent = nullptr);
    ~AsfManagerDialog() override;

    // Parses path and hands it to the pages; false (no message) when it is
    // no ASF file.
    bool OpenFile(const QString& path);
    void Play();
    void Pause();
    void Stop();
    // The preview timer's work, every 100 ms while the preview runs.
    void Tick();

    int PlayState() const { return m_playState; }
    MediaPlayer& Player() { return m_player; }
    const AsfInfo& Info() const { return m_info; }

    QLineEdit* PathEdit() const { return m_path; }
    QPushButton* OpenButton() const { return m_open; }
    QPushButton* PlayButton() const { return m_play; }
    QPushButton* PauseButton() const { return m_pause; }
    QPushButton* StopButton() const { return m_stop; }
    SelectionSlider* Slider() const { return m_slider; }
    QLabel* TimeLabel() const { return m_time; }
    QLabel* StatusLabel() const { return m_status; }
    QTabWidget* Tabs() const { return m_tabs; }
    CutPage* Cut() const { return m_cutPage; }
    CapturePage* Capture() const { return m_capturePage; }
    InfoPage* Information() const { return m_infoPage; }
    VideoCanvas* Canvas() const { return m_canvas; }

    // PreviewControl
    int SliderPosition() const override;
    int SelectionStart() const override;
    int SelectionEnd() const override;
    void SetSelection(int start, int end) override;
    void SetRepeat(bool on) override { m_repeat = on; }
    void Jump(int seconds) override;
    bool IsPlaying() const override { return m_playState == kPlaying; }
    bool PlayIfStopped() override;
    bool GetVideoInfo(VideoInfo* info) override;
    bool SaveCurrentImage(const std::filesystem::path& path) const override;
    void SetSnapshot(FrameSnapshot* snapshot) override;

public Q_SLOTS:
    void done(int result) override;

private:
    QWidget* BuildPreview();
    void BrowseFile();
    void ShowTabs(bool shown);
    QString StatusText() const;
    QString Mark();
    void ShowTime(int seconds);
    void ConnectBackend();
    void DisconnectBackend();
    // Cancels the cut, ends a capture, stops the timer and closes the
    // player, in that order.
    void Shutdown();

    const AppSettings& m_settings;
    ProfileStore& m_profile;
    MediaPlayer m_player;
    AsfInfo m_info;
    bool m_hasFile = false;
    std::atomic<FrameSnapshot*> m_snapshot{nullptr};
    QTimer m_timer;
    int m_playState = kStopped;
    bool m_repeat = false;
    bool m_dragging = false;
    bool m_blinkOn = false;

    QLineEdit* m_path;
    QPushButton* m_open;
    VideoCanvas* m_canvas;
    SelectionSlider* m_slider;
    QPushButton* m_play;
    QPushButton* m_pause;
    QPushButton* m_stop;
    QLabel* m_time;
    QLabel* m_status;
    QPushButton* m_exit;
    QTabWidget* m_tabs;
    CutPage* m_cutPage;
    CapturePage* m_capturePage;
    InfoPage* m_infoPage;
};

}  // namespace tapewell::gui
