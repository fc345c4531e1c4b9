#pragma once

#include <QObject>
#include <QRect>
#include <QTimer>

#include <string>

#include "gui/player/PlayerLayout.h"

class QMainWindow;
class QSlider;

namespace tapewell {
class AppSettings;
class ProfileStore;
class RecordList;
}  // namespace tapewell

namespace tapewell::gui {

class ActionTable;
class ListToolBar;
class PlayerView;
class RecordListPane;

// Playing the record list's rows in the desktop program: "Play", "Pause",
// "Stop", the position and volume sliders, "Up", "Down", "Mute", "Repeat",
// "Big Screen Mode", the Play cells that follow the player, and the
// once-a-second follow-up that starts the next row when one has ended. The
// playing row is always found by the player's address, so rows that come,
// go or move never make another row the playing one. Lives on the UI
// thread.
class PlaybackCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kFollowUpMs = 1000;
    static constexpr int kVolumeStep = 100;
    static constexpr int kVolumeMax = 5000;

    // All given outlive this object; settings are the program's own
    // ("Repeat" is changed here). The commands' actions exist from here on.
    PlaybackCommands(RecordList& list, AppSettings& settings, ProfileStore& profile,
                     ActionTable& actions, PlayerView& player, QMainWindow* frame);
    ~PlaybackCommands() override;

    // The toolbar's sliders follow and drive the player from here on.
    void AttachSliders(ListToolBar& bar);
    // The list pane: Big Screen Mode hides its banner and shows the playing
    // row in its view.
    void AttachPane(RecordListPane& pane) { m_pane = &pane; }

    // "Play": resumes a paused player, else plays the first selected row.
    void PlaySelected();
    // Opens address in the player; the title and the Play cell follow once
    // it has opened.
    void PlayItem(const std::string& address, const std::string& name);
    void PauseToggle();
    // Stops the player and the follow-up.
    void StopPlayback();
    void SetVolume(int volume);
    int Volume() const { return m_volume; }
    void SetBigScreen(bool on);
    bool IsBigScreen() const { return m_bigScreen; }

    // The follow-up's step (also for tests, which need not wait a second).
    void OnFollowUp();

protected:
    // A double click on the player's idle picture plays the selected row (a
    // single press there moves the window).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions(ActionTable& actions);
    void ConnectPlayer();
    void SetPlayButtons(int state);
    // The row the player's address belongs to, whatever the player's state.
    int PlayingRow() const;
    void SetPlayCell(const std::string& text);
    // The address a row plays: a recorded row plays its file; a row still
    // recording plays the file it is writing.
    std::string PlayAddress(int row) const;
    QRect FullModeRect() const;
    // The picture's size on entering (double when it fits) and leaving
    // (as it was), and the playing row in view.
    void ApplyBigScreenSize(bool on);

    RecordList& m_list;
    AppSettings& m_settings;
    ProfileStore& m_profile;
    ActionTable& m_actions;
    PlayerView& m_player;
    QSlider* m_position = nullptr;
    QSlider* m_volumeSlider = nullptr;
    QMainWindow* m_frame;
    RecordListPane* m_pane = nullptr;
    QTimer m_followUp;
    int m_volume;
    bool m_playingNetwork = false;  // the kind of row that plays, for the follow-up
    bool m_dragging = false;
    std::string m_opening;  // the address asked for, until it has opened
    bool m_bigScreen = false;
    QRect m_normalGeometry;
    Qt::WindowFlags m_normalFlags;
    SizeMode m_normalSizeMode = SizeMode::kNormal;
};

}  // namespace tapewell::gui
