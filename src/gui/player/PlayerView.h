#pragma once

#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "engine/JobPrompt.h"
#include "gui/player/CaptionStyle.h"
#include "gui/player/PlayerLayout.h"
#include "player/MediaPlayer.h"

class QMenu;

namespace tapewell {
class AppSettings;
class PlaybackFetch;
class ProfileStore;
}  // namespace tapewell

namespace tapewell::gui {

class ActionTable;
class FullScreenVideoWindow;
class VideoCanvas;

// The main window's player area: it owns the MediaPlayer, lays the video and
// the caption band out by the size mode and the ratio setting, polls the
// player every 100 ms and turns its events into signals for the record list,
// and answers the player commands of the action table.
//
// Opening never blocks the window: Play starts the open and returns; the
// rest of the start happens when the player reports the media ready. An
// address GStreamer cannot read (MMS, RTSP, Windows Media HTTP streaming)
// plays through a hidden recording job into a cache folder, and a file a
// recording is still writing plays as it grows (RoutePlayback); both refuse
// seeks. Such a job asks for credentials with the program's dialog, and a
// pair it obtains becomes the current one, as for recordings.
class PlayerView : public QWidget {
    Q_OBJECT
public:
    // Play states, as playStateChanged reports them.
    static constexpr int kStopped = 0;
    static constexpr int kPaused = 1;
    static constexpr int kPlaying = 2;
    static constexpr int kPollMs = 100;
    static constexpr int kStatusMs = 1000;

    // Adds the player commands to actions; settings are the program's own
    // and are changed by the commands.
    PlayerView(AppSettings& settings, ActionTable& actions, QWidget* parent = nullptr);
    ~PlayerView() override;

    // Starts opening address; false only when the open cannot start (then
    // openFailed follows). The display title is title, or the address.
    bool Play(const QString& address, const QString& title = {});

    void PlayPause();
    // Stops; a stream that plays through a recording job, or a growing
    // file, is closed, and the job stopped and its cache folder removed.
    void Stop();
    // Stops playback and its job, at the program's exit: no cache folder
    // outlives the window. The destructor does it too.
    void Shutdown();
    // Moves by seconds; nothing when the target is before 1 s or at or past
    // the end.
    void SeekBy(int seconds);
    // Moves to an absolute second; false when refused (nothing open, past
    // the end, or media that cannot seek).
    bool SeekTo(int seconds);
    // False while nothing is open and for streams and growing files.
    bool CanSeek() const;
    // Whole seconds of the open media (0 when unknown or nothing is open).
    int Duration() const;
    int Position() const;
    void SetSizeMode(SizeMode mode);
    SizeMode CurrentSizeMode() const { return m_sizeMode; }
    // Whether the video at mode, with its caption band, fits the view as it
    // is now (false while no video shows).
    bool Fits(SizeMode mode) const;
    // While the window's size is the program's (Big Screen Mode), a size
    // command scales the picture and leaves the window as it is.
    void SetWindowFixed(bool on) { m_windowFixed = on; }
    void SetFullScreen(bool on);
    bool IsFullScreen() const { return m_fullScreen != nullptr; }
    // Puts the last frame, at the video's size, on the clipboard.
    void CopyPicture();
    // 0-5000 and mute, applied now and to each media that opens.
    void SetVolume(int volume);
    void SetMute(bool on);

    int PlayState() const { return m_playState; }
    bool IsOpening() const { return m_opening; }
    bool ShowsVideo() const;
    QString Address() const { return m_address; }
    QString DisplayTitle() const { return m_displayTitle; }
    QString LastError() const { return m_lastError; }
    QString CaptionText() const;
    QString StatusText() const;
    // The video's rectangle in the view (empty while no video is shown).
    QRect VideoRect() const;
    QImage LastFrame() const;
    CaptionStyle Caption() const { return m_caption; }
    MediaPlayer& Player() { return m_player; }
    QWidget* FullScreenWindow() const;
    // Greys the size and caption commands to the mode and the media.
    void UpdateActions();
    // The player menu (the context menu), parented to parent.
    QMenu* CreateMenu(QWidget* parent);

    // The live settings were replaced (the preferences' OK): shows the
    // captions as they now say.
    void ApplySettings();
    // Where network playback finds the logins stored per site, as
    // recordings do; null (the default) stores and finds none.
    void SetProfile(ProfileStore* profile) { m_profile = profile; }

Q_SIGNALS:
    void playStateChanged(int state);
    void opening();
    void opened();
    void openFailed();
    void positionTick();
    void buffering(int percent);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void CreateActions(ActionTable& actions);
    void OnPoll();
    void OnOpened();
    // reason replaces the player's error text (a failed fetch's).
    void OnOpenFailed(const QString& reason = {});
    // Starts the open that RoutePlayback chooses; false when it cannot start.
    bool StartOpen(const std::string& address);
    // While a fetch waits for its first bytes: true when it still does.
    bool PollFetch();
    void TakeFetchCredentials();
    void StopFetch();
    void StartPlaying();
    void PausePlaying();
    void SetPlayState(int state);
    void ShowIdle();
    void ShowStatus(const QString& text);
    void OnCaptionNotice();
    void ApplyCaptionStyle();
    void ToggleCaptions();
    void StepCaptionMargin(int delta);
    void OpenFontDialog();
    void ToggleKeepRatio(bool on);
    // The layout box, the picture state and a repaint.
    void Relayout();
    void Post(void (PlayerView::*signal)());
    void ConnectBackend();
    void DisconnectBackend();

    AppSettings& m_settings;
    ActionTable& m_actions;
    MediaPlayer m_player;
    std::unique_ptr<JobPrompt> m_fetchPrompt;
    ProfileStore* m_profile = nullptr;
    bool m_windowFixed = false;
    std::unique_ptr<PlaybackFetch> m_fetch;
    bool m_fetching = false;  // the fetch has not yet handed the player its feed
    VideoCanvas* m_canvas;
    std::unique_ptr<FullScreenVideoWindow> m_fullScreen;
    QTimer m_pollTimer;
    QTimer m_statusTimer;
    QString m_address;
    QString m_displayTitle;
    QString m_lastError;
    CaptionStyle m_caption;
    SizeMode m_sizeMode = SizeMode::kNormal;
    QSize m_chosen;
    int m_playState = kStopped;
    bool m_opening = false;
    bool m_hasCaptions = false;
    int m_volume = MediaPlayer::kMaxVolume;
    bool m_muted = false;
};

}  // namespace tapewell::gui
