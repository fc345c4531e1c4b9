#include "gui/list/PlaybackCommands.h"

#include <QAction>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QScreen>
#include <QSlider>
#include <QUrl>

#include <algorithm>

#include "app/AddressText.h"
#include "app/PlaybackOrder.h"
#include "app/RecordList.h"
#include "app/RecordScheduler.h"
#include "gui/app/ActionTable.h"
#include "gui/list/CRecordListView.h"
#include "gui/list/ListToolBar.h"
#include "gui/list/RecordListPane.h"
#include "gui/player/PlayerView.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

constexpr const char* kSettingsSection = "settings";
constexpr const char* kPositionSection = "position";
constexpr int kDefaultVolume = 5000;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

bool Contains(const std::string& text, const char* what) {
    return text.find(what) != std::string::npos;
}

}  // namespace

PlaybackCommands::PlaybackCommands(RecordList& list, AppSettings& settings, ProfileStore& profile,
                                   ActionTable& actions, PlayerView& player, QMainWindow* frame)
    : QObject(frame),
      m_list(list),
      m_settings(settings),
      m_profile(profile),
      m_actions(actions),
      m_player(player),
      m_frame(frame),
      m_volume(
          std::clamp(profile.GetInt(kSettingsSection, "Volume", kDefaultVolume), 0, kVolumeMax)) {
    m_followUp.setInterval(kFollowUpMs);
    connect(&m_followUp, &QTimer::timeout, this, &PlaybackCommands::OnFollowUp);
    CreateActions(actions);
    ConnectPlayer();
    SetVolume(m_volume);
    m_player.installEventFilter(this);
    SetPlayButtons(PlayerView::kStopped);
}

PlaybackCommands::~PlaybackCommands() {
    m_followUp.stop();
    m_player.removeEventFilter(this);
}

bool PlaybackCommands::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &m_player && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
        m_player.PlayState() == PlayerView::kStopped && !m_player.IsOpening()) {
        PlaySelected();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void PlaybackCommands::CreateActions(ActionTable& actions) {
    const auto add = [&](int id, const QString& text, const QKeySequence& key,
                         void (PlaybackCommands::*run)(), bool checkable = false) {
        QAction* action = actions.Add(id, text, key, checkable);
        if (run != nullptr) {
            connect(action, &QAction::triggered, this, run);
        }
        return action;
    };
    add(command::kPlay, tr("Play"), QKeySequence(Qt::Key_Space), &PlaybackCommands::PlaySelected);
    add(command::kPause, tr("Pause"), {}, &PlaybackCommands::PauseToggle);
    add(command::kStop, tr("Stop"), {}, &PlaybackCommands::StopPlayback);
    connect(
        add(command::kVolumeUp, tr("Up", "volume"), QKeySequence(Qt::CTRL | Qt::Key_Plus), nullptr),
        &QAction::triggered, this, [this] { SetVolume(m_volume + kVolumeStep); });
    connect(add(command::kVolumeDown, tr("Down", "volume"), QKeySequence(Qt::CTRL | Qt::Key_Minus),
                nullptr),
            &QAction::triggered, this, [this] { SetVolume(m_volume - kVolumeStep); });
    QAction* mute = add(command::kMute, tr("Mute"), {}, nullptr, true);
    connect(mute, &QAction::toggled, this, [this](bool on) { m_player.SetMute(on); });
    QAction* repeat = add(command::kRepeat, tr("Repeat"), {}, nullptr, true);
    repeat->setChecked(m_settings.m_repeat);
    connect(repeat, &QAction::toggled, this, [this](bool on) { m_settings.m_repeat = on; });
    QAction* big =
        add(command::kBigScreen, tr("Big Screen Mode"), QKeySequence(Qt::Key_F11), nullptr, true);
    connect(big, &QAction::toggled, this, &PlaybackCommands::SetBigScreen);
}

void PlaybackCommands::ConnectPlayer() {
    connect(&m_player, &PlayerView::playStateChanged, this, [this](int state) {
        SetPlayButtons(state);
        if (state != PlayerView::kStopped || m_player.IsOpening()) {
            return;
        }
        // An ended or stopped media is no longer "the playing row".
        m_list.SetPlayerState(m_player.Address().toStdString(), false);
    });
    connect(&m_player, &PlayerView::opening, this,
            [this] { SetPlayCell(tr("Ready").toStdString()); });
    connect(&m_player, &PlayerView::opened, this, [this] {
        const std::string address = m_player.Address().toStdString();
        m_list.SetPlayerState(address, true);
        if (address == m_opening) {
            m_frame->setWindowTitle(tr("Tapewell") + " - " + m_player.Address());
            m_opening.clear();
        }
        SetPlayCell(PositionText(0));
        const int duration = std::max(0, m_player.Duration());
        m_list.SetDuration(PlayingRow(), static_cast<uint32_t>(duration));
        if (m_position != nullptr) {
            m_position->setRange(0, duration);
            m_position->setValue(0);
            m_position->setEnabled(true);
        }
        m_followUp.start();
    });
    connect(&m_player, &PlayerView::openFailed, this, [this] {
        m_followUp.stop();
        m_opening.clear();
        SetPlayButtons(PlayerView::kStopped);
        const std::string address = m_player.Address().toStdString();
        for (int row = 0; row < m_list.RowCount(); ++row) {
            const RecordRow& item = m_list.Row(row);
            if (!address.empty() && (item.cells[kColOriginalFile] == address ||
                                     item.cells[kColRecordingFile] == address)) {
                m_list.SetCellText(row, kColPlay, tr("error").toStdString());
            }
        }
        m_list.SetPlayerState("", false);
    });
    connect(&m_player, &PlayerView::positionTick, this, [this] {
        if (m_position == nullptr) {
            return;
        }
        const int duration = std::max(0, m_player.Duration());
        if (m_position->maximum() == m_position->minimum() && duration > 0) {
            m_list.SetDuration(PlayingRow(), static_cast<uint32_t>(duration));
            m_position->setRange(0, duration);
        }
        if (!m_dragging) {
            const int position = std::max(0, m_player.Position());
            m_position->setValue(position);
            SetPlayCell(PositionText(static_cast<uint32_t>(position)));
        }
    });
    connect(&m_player, &PlayerView::buffering, this,
            [this](int) { SetPlayCell(tr("Buffering").toStdString()); });
}

void PlaybackCommands::AttachSliders(ListToolBar& bar) {
    m_position = bar.PositionSlider();
    m_volumeSlider = bar.VolumeSlider();
    m_position->setRange(0, 0);
    m_volumeSlider->setValue(m_volume);
    connect(m_position, &QSlider::sliderPressed, this, [this] { m_dragging = true; });
    connect(m_position, &QSlider::sliderMoved, this, [this](int seconds) {
        SetPlayCell(PositionText(static_cast<uint32_t>(std::max(seconds, 0))));
    });
    connect(m_position, &QSlider::sliderReleased, this, [this] {
        m_dragging = false;
        // A stream that cannot seek refuses; the next tick puts the slider back.
        m_player.SeekTo(m_position->value());
    });
    m_volumeSlider->setEnabled(true);
    connect(m_volumeSlider, &QSlider::valueChanged, this, [this](int value) {
        if (value != m_volume) {
            SetVolume(value);
        }
    });
}

void PlaybackCommands::SetPlayButtons(int state) {
    m_actions.Get(command::kPlay)
        ->setEnabled(state == PlayerView::kStopped || state == PlayerView::kPaused);
    m_actions.Get(command::kPause)->setEnabled(state == PlayerView::kPlaying);
    m_actions.Get(command::kStop)
        ->setEnabled(state == PlayerView::kPaused || state == PlayerView::kPlaying);
}

int PlaybackCommands::PlayingRow() const {
    return m_list.FindPlayingRow(true);
}

void PlaybackCommands::SetPlayCell(const std::string& text) {
    m_list.SetCellText(PlayingRow(), kColPlay, text);
}

std::string PlaybackCommands::PlayAddress(int row) const {
    const RecordRow& item = m_list.Row(row);
    const std::string& file = item.cells[kColRecordingFile];
    if (!file.empty() && (item.mark == kMarkRecorded || item.jobNumber != 0)) {
        return file;
    }
    return item.cells[kColOriginalFile];
}

void PlaybackCommands::PlaySelected() {
    if (m_player.PlayState() == PlayerView::kPaused) {
        m_player.PlayPause();
        return;
    }
    const int row = m_list.FirstSelectedRow();
    if (row == RecordList::kNoSelection) {
        return;
    }
    const RecordRow& item = m_list.Row(row);
    const std::string& name = item.cells[kColFile];
    const std::string& address = item.cells[kColOriginalFile];
    if (item.mark == kMarkNetwork && (Contains(name, "<G>") || Contains(name, "[G]"))) {
        QDesktopServices::openUrl(
            QUrl::fromEncoded(QByteArray::fromStdString(RecordScheduler::SearchUrl(address))));
        return;
    }
    if (item.mark == kMarkNetwork && (Contains(name, "<E>") || Contains(name, "[E]"))) {
        // Only web pages open in the browser; anything else stays here.
        if (address.rfind("http://", 0) == 0 || address.rfind("https://", 0) == 0) {
            QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(address)));
        }
        return;
    }
    const std::string play = PlayAddress(row);
    const bool network = item.mark != 0;
    StopPlayback();
    // The row is the playing one from now on, found by this address.
    m_list.SetPlayerState(play, false);
    m_list.SetCellText(row, kColPlay, tr("Ready").toStdString());
    SetPlayButtons(PlayerView::kPlaying);
    m_playingNetwork = network;
    PlayItem(play, name);
}

void PlaybackCommands::PlayItem(const std::string& address, const std::string& name) {
    m_followUp.stop();
    m_opening = address;
    if (m_position != nullptr) {
        m_position->setRange(0, 0);
    }
    m_player.Play(Q(address), Q(name));
}

void PlaybackCommands::PauseToggle() {
    const int state = m_player.PlayState();
    if (state == PlayerView::kPaused || state == PlayerView::kPlaying) {
        m_player.PlayPause();
    }
}

void PlaybackCommands::StopPlayback() {
    m_followUp.stop();
    m_opening.clear();
    const int row = PlayingRow();
    m_player.Stop();
    m_list.SetCellText(row, kColPlay, "");
    m_list.SetPlayerState("", false);
    SetPlayButtons(PlayerView::kStopped);
}

void PlaybackCommands::OnFollowUp() {
    if (m_player.PlayState() != PlayerView::kStopped || m_player.IsOpening()) {
        return;
    }
    // The row that ended is found by the address the player still holds.
    const int ended = PlayingRow();
    const int next =
        NextPlaybackRow(m_list, ended, m_playingNetwork, m_settings.m_sequence, m_settings.m_repeat,
                        [] { return QRandomGenerator::global()->generate(); });
    if (next < 0) {
        StopPlayback();
        return;
    }
    m_list.SelectRow(next);
    PlaySelected();
}

void PlaybackCommands::SetVolume(int volume) {
    m_volume = std::clamp(volume, 0, kVolumeMax);
    m_player.SetVolume(m_volume);
    if (m_volumeSlider != nullptr && m_volumeSlider->value() != m_volume) {
        m_volumeSlider->setValue(m_volume);
    }
}

QRect PlaybackCommands::FullModeRect() const {
    const QScreen* screen = m_frame->screen();
    const QRect whole = screen != nullptr ? screen->geometry() : QRect(0, 0, 1024, 768);
    if (!m_settings.m_saveFullScreenPos) {
        return whole;
    }
    return QRect(m_profile.GetInt(kPositionSection, "full mode x", whole.x()),
                 m_profile.GetInt(kPositionSection, "full mode y", whole.y()),
                 m_profile.GetInt(kPositionSection, "full mode cx", whole.width()),
                 m_profile.GetInt(kPositionSection, "full mode cy", whole.height()));
}

void PlaybackCommands::SetBigScreen(bool on) {
    if (on == m_bigScreen) {
        return;
    }
    m_bigScreen = on;
    QAction* action = m_actions.Get(command::kBigScreen);
    if (action->isChecked() != on) {
        action->setChecked(on);
    }
    const bool visible = m_frame->isVisible();
    if (on) {
        m_normalGeometry = m_frame->geometry();
        m_normalFlags = m_frame->windowFlags();
        // The menu bar goes; its commands stay reachable by their keys and
        // the context menus, as the actions belong to the window.
        m_frame->menuBar()->hide();
        m_frame->setWindowFlags(m_normalFlags | Qt::FramelessWindowHint);
        m_frame->setGeometry(FullModeRect());
        m_player.SetWindowFixed(true);
        m_normalSizeMode = m_player.CurrentSizeMode();
        if (m_pane != nullptr) {
            m_pane->Banner()->hide();
        }
    } else {
        if (m_settings.m_saveFullScreenPos) {
            const QRect big = m_frame->geometry();
            (void)m_profile.Update([&big](ProfileEdit& edit) {
                edit.WriteInt(kPositionSection, "full mode x", big.x());
                edit.WriteInt(kPositionSection, "full mode y", big.y());
                edit.WriteInt(kPositionSection, "full mode cx", big.width());
                edit.WriteInt(kPositionSection, "full mode cy", big.height());
            });
        }
        m_frame->setWindowFlags(m_normalFlags);
        m_frame->menuBar()->show();
        m_frame->setGeometry(m_normalGeometry);
        if (m_pane != nullptr) {
            m_pane->Banner()->show();
        }
        m_player.SetWindowFixed(false);
    }
    if (visible) {
        m_frame->show();  // changing the window flags hides the window
    }
    ApplyBigScreenSize(on);
}

void PlaybackCommands::ApplyBigScreenSize(bool on) {
    if (!on) {
        // Back to the size the picture had, which may size the window to it.
        m_player.SetSizeMode(m_normalSizeMode);
        return;
    }
    // The big layout settles first: the player's new size decides whether
    // a doubled picture fits.
    if (QLayout* layout = m_frame->layout()) {
        layout->activate();
    }
    if (m_player.Fits(SizeMode::kDouble)) {
        m_player.SetSizeMode(SizeMode::kDouble);
    }
    const int row = PlayingRow();
    if (m_pane != nullptr && row >= 0) {
        CRecordListView* view = m_pane->View();
        view->scrollTo(view->model()->index(row, 0));
    }
}

}  // namespace tapewell::gui
