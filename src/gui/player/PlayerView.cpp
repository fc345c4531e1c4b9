#include "gui/player/PlayerView.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>

#include "app/PlaybackFetch.h"
#include "app/PlaybackRoute.h"
#include "gui/app/ActionTable.h"
#include "gui/app/UiPrompt.h"
#include "gui/list/GuiJobPrompt.h"
#include "gui/player/CaptionFontDialog.h"
#include "gui/player/FullScreenVideoWindow.h"
#include "gui/player/VideoCanvas.h"
#include "player/GrowingFileFeed.h"
#include "player/HtmlToText.h"
#include "settings/AppSettings.h"

namespace tapewell::gui {

PlayerView::PlayerView(AppSettings& settings, ActionTable& actions, QWidget* parent)
    : QWidget(parent),
      m_settings(settings),
      m_actions(actions),
      m_canvas(new VideoCanvas(this)),
      m_caption(CaptionStyle::FromSettings(settings)) {
    setObjectName("playerView");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_canvas);
    m_pollTimer.setInterval(kPollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, &PlayerView::OnPoll);
    m_statusTimer.setSingleShot(true);
    m_statusTimer.setInterval(kStatusMs);
    connect(&m_statusTimer, &QTimer::timeout, this, [this] {
        m_canvas->State().status.clear();
        Relayout();
    });
    m_canvas->State().status = tr("Tapewell");
    CreateActions(actions);
    ApplyCaptionStyle();
    ShowIdle();
}

PlayerView::~PlayerView() {
    m_pollTimer.stop();
    // The callbacks reach the canvas and this view from streaming threads:
    // they go, waiting for one in flight, before either does.
    DisconnectBackend();
    m_player.Close();
    StopFetch();
    m_fullScreen.reset();
}

void PlayerView::Shutdown() {
    Stop();
    m_pollTimer.stop();
    DisconnectBackend();
    // The player reads the fetch's file: it closes first.
    m_player.Close();
    StopFetch();
}

void PlayerView::StopFetch() {
    m_fetching = false;
    if (m_fetch) {
        m_fetch->Stop();
        m_fetch.reset();
    }
}

bool PlayerView::StartOpen(const std::string& address) {
    switch (RoutePlayback(address)) {
        case PlaybackRoute::kDirect:
            return m_player.OpenAsync(address);
        case PlaybackRoute::kGrowingFile: {
            auto feed = GrowingFileFeed::Open(address, GrowingFileFeed::Writer::kLock);
            return feed && m_player.OpenFeed(*feed);
        }
        case PlaybackRoute::kEngines:
            break;
    }
    // A prompt of its own for each job: stopping a job cancels its prompt
    // for good.
    m_fetchPrompt = std::make_unique<GuiJobPrompt>(window());
    m_fetch = std::make_unique<PlaybackFetch>(
        m_settings, PlaybackFetch::Item{address, m_settings.m_userName, m_settings.m_password},
        m_fetchPrompt.get(), m_profile);
    if (auto started = m_fetch->Start(); !started) {
        m_lastError = QString::fromStdString(started.error().message);
        m_fetch.reset();
        return false;
    }
    m_fetching = true;
    return true;
}

void PlayerView::TakeFetchCredentials() {
    if (!m_fetch) {
        return;
    }
    if (auto pair = m_fetch->TakeCredentials()) {
        m_settings.m_userName = pair->user;
        m_settings.m_password = pair->password;
    }
}

bool PlayerView::PollFetch() {
    TakeFetchCredentials();
    switch (m_fetch->Poll()) {
        case PlaybackFetch::State::kFetching:
            return true;
        case PlaybackFetch::State::kFailed: {
            const QString reason = QString::fromStdString(m_fetch->ErrorText());
            StopFetch();
            OnOpenFailed(reason);
            return false;
        }
        case PlaybackFetch::State::kReady:
            break;
    }
    m_fetching = false;
    if (!m_player.OpenFeed(m_fetch->Feed())) {
        StopFetch();
        OnOpenFailed();
    }
    return false;
}

void PlayerView::ConnectBackend() {
    GstPlayer* backend = m_player.Backend();
    if (backend == nullptr) {
        return;
    }
    VideoCanvas* canvas = m_canvas;
    backend->SetFrameCallback([canvas](const VideoFrame& frame) { canvas->TakeFrame(frame); });
    backend->SetCaptionNotice([this] {
        QMetaObject::invokeMethod(this, &PlayerView::OnCaptionNotice, Qt::QueuedConnection);
    });
}

void PlayerView::DisconnectBackend() {
    if (GstPlayer* backend = m_player.Backend()) {
        backend->RemoveFrameCallback();
        backend->SetCaptionNotice(nullptr);
    }
}

void PlayerView::Post(void (PlayerView::*signal)()) {
    QMetaObject::invokeMethod(
        this,
        [this, signal] {
            Q_EMIT(this->*signal)
            ();
        },
        Qt::QueuedConnection);
}

bool PlayerView::Play(const QString& address, const QString& title) {
    m_canvas->State().caption.clear();
    m_address = address;
    m_displayTitle = title.isEmpty() ? address : title;
    m_lastError.clear();
    Post(&PlayerView::opening);
    m_pollTimer.stop();
    if (m_playState != kStopped) {
        SetPlayState(kStopped);
    }
    DisconnectBackend();
    m_player.Close();
    StopFetch();
    m_canvas->ClearFrame();
    ShowIdle();
    if (!StartOpen(address.toStdString())) {
        OnOpenFailed(m_lastError);
        return false;
    }
    m_opening = true;
    // The open reports through the same events as playback.
    m_pollTimer.start();
    return true;
}

void PlayerView::OnOpenFailed(const QString& reason) {
    m_opening = false;
    m_pollTimer.stop();
    GstPlayer* backend = m_player.Backend();
    m_lastError = !reason.isEmpty()    ? reason
                  : backend != nullptr ? QString::fromStdString(backend->LastError())
                                       : QString();
    ShowIdle();
    // Silent by design: the list shows the failure; the strip says why.
    ShowStatus(m_lastError);
    Post(&PlayerView::openFailed);
}

void PlayerView::OnOpened() {
    m_opening = false;
    m_hasCaptions = m_player.HasCaptionGraph();
    m_settings.m_enableCaption = m_hasCaptions;
    ConnectBackend();
    PlayerLayout& layout = m_canvas->State().layout;
    layout.m_video = QSize(m_player.GetVideoWidth(), m_player.GetVideoHeight());
    m_canvas->State().showVideo = !m_player.IsAudioOnly();
    m_player.SetMute(m_muted);
    m_player.SetVolume(m_volume);
    if (ShowsVideo()) {
        SetSizeMode(m_sizeMode);
    }
    StartPlaying();
    ShowStatus(m_displayTitle);
    UpdateActions();
    Post(&PlayerView::opened);
}

void PlayerView::OnPoll() {
    if (m_fetching && PollFetch()) {
        return;
    }
    TakeFetchCredentials();
    long param1 = 0;
    long param2 = 0;
    const int event = m_player.PollEvent(&param1, &param2);
    if (m_opening) {
        if (event == GstPlayer::kEventOpened) {
            OnOpened();
        } else if (event == GstPlayer::kEventErrorAbort) {
            OnOpenFailed();
        } else if (event == GstPlayer::kEventOpening) {
            QMetaObject::invokeMethod(
                this, [this, param1] { Q_EMIT buffering(int(param1)); }, Qt::QueuedConnection);
        }
        return;
    }
    switch (event) {
        case GstPlayer::kEventOpening:
        case GstPlayer::kEventBuffering:
            QMetaObject::invokeMethod(
                this, [this, param1] { Q_EMIT buffering(int(param1)); }, Qt::QueuedConnection);
            return;
        case GstPlayer::kEventComplete:
            Stop();
            break;
        case GstPlayer::kEventErrorAbort:
            m_pollTimer.stop();
            m_player.Stop();
            m_lastError = QString::fromStdString(m_player.Backend()->LastError());
            if (m_fetch) {
                m_player.Close();
                StopFetch();
            }
            SetPlayState(kStopped);
            return;
        default:
            break;
    }
    Post(&PlayerView::positionTick);
}

void PlayerView::SetPlayState(int state) {
    m_playState = state;
    m_canvas->State().drawCaption = m_settings.m_enableCaption && state != kStopped;
    Q_EMIT playStateChanged(state);
    m_canvas->update();
}

void PlayerView::StartPlaying() {
    m_player.Play();
    m_pollTimer.start();
    SetPlayState(kPlaying);
}

void PlayerView::PausePlaying() {
    m_player.Pause();
    SetPlayState(kPaused);
}

void PlayerView::PlayPause() {
    if (m_opening || !m_player.IsOpen()) {
        return;
    }
    if (m_playState == kPlaying) {
        PausePlaying();
    } else {
        StartPlaying();
    }
}

void PlayerView::Stop() {
    if (m_opening) {
        m_opening = false;
        m_pollTimer.stop();
        m_player.Stop();
        StopFetch();
        ShowIdle();
        return;
    }
    if (m_playState == kStopped) {
        return;
    }
    m_pollTimer.stop();
    // What cannot seek cannot start over either: a stream's job ends, and
    // playing it again opens it anew.
    if (m_player.IsOpen() && !m_player.CanSeek()) {
        DisconnectBackend();
        m_player.Close();
        StopFetch();
    } else {
        m_player.Stop();
        m_player.Seek(0);
    }
    SetPlayState(kStopped);
    SetFullScreen(false);
    ShowIdle();
}

void PlayerView::SeekBy(int seconds) {
    if (m_opening || !m_player.IsOpen()) {
        return;
    }
    const int target = m_player.GetPosition() + seconds;
    if (target < 1 || target >= m_player.GetDuration()) {
        return;
    }
    m_player.Seek(target);
    if (m_playState == kPlaying) {
        m_player.Play();
    }
}

bool PlayerView::SeekTo(int seconds) {
    if (m_opening || !CanSeek() || seconds < 0 || seconds > m_player.GetDuration()) {
        return false;
    }
    if (!m_player.Seek(seconds)) {
        return false;
    }
    if (m_playState == kPlaying) {
        m_player.Play();
    }
    return true;
}

bool PlayerView::CanSeek() const {
    return m_player.CanSeek();
}

int PlayerView::Duration() const {
    return m_player.GetDuration();
}

int PlayerView::Position() const {
    return m_player.GetPosition();
}

bool PlayerView::ShowsVideo() const {
    return m_canvas->State().showVideo;
}

void PlayerView::ShowIdle() {
    m_canvas->State().showVideo = false;
    UpdateActions();
    Relayout();
}

void PlayerView::ShowStatus(const QString& text) {
    m_canvas->State().status = text;
    m_statusTimer.start();
    Relayout();
}

QString PlayerView::StatusText() const {
    return m_canvas->State().status;
}

QString PlayerView::CaptionText() const {
    return m_canvas->State().caption;
}

QImage PlayerView::LastFrame() const {
    return m_canvas->LastFrame();
}

QWidget* PlayerView::FullScreenWindow() const {
    return m_fullScreen.get();
}

QRect PlayerView::VideoRect() const {
    const PictureState& state = m_canvas->State();
    if (!state.showVideo) {
        return {};
    }
    const QSize client = m_canvas->size();
    return state.layout.VideoRect(state.box.isEmpty() ? client : state.box, client);
}

void PlayerView::Relayout() {
    PictureState& state = m_canvas->State();
    state.layout.m_keepRatio = m_settings.m_keep;
    state.layout.m_captionsShown = m_hasCaptions && m_settings.m_enableCaption;
    state.layout.m_captionMargin = m_caption.m_margin;
    state.drawCaption = m_settings.m_enableCaption && m_playState != kStopped;
    const QSize client = m_canvas->size();
    state.box = m_settings.m_keepSize && m_settings.m_keep
                    ? PlayerLayout::BoxWithin(client, m_chosen)
                    : client;
    m_canvas->update();
    if (m_fullScreen) {
        m_fullScreen->update();
    }
}

void PlayerView::SetSizeMode(SizeMode mode) {
    m_sizeMode = mode;
    if (!ShowsVideo()) {
        return;
    }
    PlayerLayout& layout = m_canvas->State().layout;
    layout.m_captionsShown = m_hasCaptions && m_settings.m_enableCaption;
    layout.m_captionMargin = m_caption.m_margin;
    m_chosen = layout.ChosenClient(mode);
    QWidget* top = window();
    const bool fixed = m_windowFixed || top->isMaximized() || top->isFullScreen() || IsFullScreen();
    if (!fixed && PlayerLayout::ResizesWindow(m_chosen, m_settings.m_keepSize)) {
        top->resize(top->size() - size() + m_chosen);
    }
    Relayout();
    ShowStatus(PlayerLayout::SizeStatusText(mode, layout.ScaledVideo(mode)));
}

bool PlayerView::Fits(SizeMode mode) const {
    if (!ShowsVideo()) {
        return false;
    }
    PlayerLayout layout = m_canvas->State().layout;
    layout.m_captionsShown = m_hasCaptions && m_settings.m_enableCaption;
    layout.m_captionMargin = m_caption.m_margin;
    const QSize wanted = layout.ChosenClient(mode);
    return wanted.width() <= width() && wanted.height() <= height();
}

void PlayerView::SetFullScreen(bool on) {
    if (on == IsFullScreen() || (on && !ShowsVideo())) {
        return;
    }
    if (!on) {
        m_canvas->SetMirror(nullptr);
        m_fullScreen.reset();
        setEnabled(true);
        return;
    }
    m_fullScreen = std::make_unique<FullScreenVideoWindow>(*m_canvas);
    m_fullScreen->addActions(actions());
    connect(m_fullScreen.get(), &FullScreenVideoWindow::leaveRequested, this,
            [this] { SetFullScreen(false); });
    m_canvas->SetMirror(m_fullScreen.get());
    setEnabled(false);
    m_fullScreen->ShowOn(this);
}

void PlayerView::CopyPicture() {
    const QImage frame = m_canvas->LastFrame();
    if (!frame.isNull()) {
        QGuiApplication::clipboard()->setImage(frame);
    }
}

void PlayerView::SetVolume(int volume) {
    m_volume = volume;
    m_player.SetVolume(volume);
}

void PlayerView::SetMute(bool on) {
    m_muted = on;
    m_player.SetMute(on);
}

void PlayerView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void PlayerView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !IsFullScreen()) {
        // The window can be dragged by its picture.
        if (QWindow* handle = window()->windowHandle()) {
            handle->startSystemMove();
        }
        return;
    }
    QWidget::mousePressEvent(event);
}

void PlayerView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && ShowsVideo()) {
        SetFullScreen(!IsFullScreen());
    }
}

void PlayerView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreateMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

// Captions ------------------------------------------------------------------

void PlayerView::OnCaptionNotice() {
    // One caption per notice: each arrival posts its own.
    std::string text;
    if (!m_player.GetCaptionText(&text)) {
        return;
    }
    m_canvas->State().caption = QString::fromStdString(HtmlToText(text));
    Relayout();
}

void PlayerView::ApplyCaptionStyle() {
    m_caption.ToSettings(m_settings);
    m_canvas->State().captionFont = m_caption.Font();
    m_canvas->State().captionColor = m_caption.m_color;
    Relayout();
}

void PlayerView::ApplySettings() {
    m_caption = CaptionStyle::FromSettings(m_settings);
    ApplyCaptionStyle();
}

void PlayerView::ToggleCaptions() {
    m_settings.m_enableCaption = !m_settings.m_enableCaption;
    Relayout();
}

void PlayerView::StepCaptionMargin(int delta) {
    if (!m_hasCaptions && !m_settings.m_enableCaption) {
        return;
    }
    m_caption.StepMargin(delta);
    ApplyCaptionStyle();
}

void PlayerView::OpenFontDialog() {
    auto* dialog = new CaptionFontDialog(m_caption, this);
    UiPrompt::Instance().Open(dialog, [this, dialog](int result) {
        if (result == QDialog::Accepted) {
            m_caption = dialog->Style();
            ApplyCaptionStyle();
        }
    });
}

void PlayerView::ToggleKeepRatio(bool on) {
    m_settings.m_keep = on;
    ShowStatus(PlayerLayout::KeepRatioStatusText(on));
}

}  // namespace tapewell::gui
