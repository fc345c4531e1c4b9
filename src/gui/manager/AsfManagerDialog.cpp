#include "gui/manager/AsfManagerDialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common/SizeTimeText.h"
#include "gui/app/FileDialogs.h"
#include "gui/app/UiPrompt.h"
#include "gui/manager/CapturePage.h"
#include "gui/manager/CutPage.h"
#include "gui/manager/InfoPage.h"
#include "gui/manager/SelectionSlider.h"
#include "gui/player/VideoCanvas.h"
#include "player/FrameSnapshot.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

constexpr const char* kPathSection = "Path";
constexpr const char* kVideoPath = "video";
constexpr int kPreviewWidth = 320;
constexpr int kPreviewHeight = 240;
// The picture sits inside its frame with this margin on each side.
constexpr int kPreviewInset = 4;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

AsfManagerDialog::AsfManagerDialog(const QString& path, Page page, const AppSettings& settings,
                                   ProfileStore& profile, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_profile(profile) {
    setObjectName("asfManager");
    setWindowTitle(tr("ASF Manager v0.1b"));
    setModal(true);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(BuildPreview());
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName("managerTabs");
    m_cutPage = new CutPage(*this, profile, m_tabs);
    m_capturePage = new CapturePage(*this, m_tabs);
    m_infoPage = new InfoPage(m_tabs);
    m_tabs->addTab(m_cutPage, tr("Cut"));
    m_tabs->addTab(m_capturePage, tr("Save Image"));
    m_tabs->addTab(m_infoPage, tr("File Info"));
    m_tabs->setCurrentIndex(page);
    layout->addWidget(m_tabs, 1);

    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &AsfManagerDialog::Tick);
    ShowTime(0);
    if (path.isEmpty() || !OpenFile(path)) {
        ShowTabs(false);
    } else if (page == kCapturePage) {
        // Opened to save pictures: Space starts a capture at once.
        m_capturePage->StartButton()->setFocus();
    }
}

AsfManagerDialog::~AsfManagerDialog() {
    Shutdown();
}

QWidget* AsfManagerDialog::BuildPreview() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);

    auto* fileRow = new QHBoxLayout;
    m_path = new QLineEdit(box);
    m_path->setObjectName("managerPath");
    m_path->setReadOnly(true);
    m_open = new QPushButton(tr("Open..."), box);
    fileRow->addWidget(m_path, 1);
    fileRow->addWidget(m_open);
    column->addLayout(fileRow);

    auto* frame = new QFrame(box);
    frame->setFrameShape(QFrame::Panel);
    frame->setFrameShadow(QFrame::Sunken);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(kPreviewInset, kPreviewInset, kPreviewInset, kPreviewInset);
    m_canvas = new VideoCanvas(frame);
    m_canvas->setMinimumSize(kPreviewWidth, kPreviewHeight);
    frameLayout->addWidget(m_canvas);
    column->addWidget(frame, 1);

    m_slider = new SelectionSlider(box);
    column->addWidget(m_slider);

    auto* controls = new QHBoxLayout;
    m_play = new QPushButton(tr("Play"), box);
    m_pause = new QPushButton(tr("Pause"), box);
    m_stop = new QPushButton(tr("Stop"), box);
    m_time = new QLabel(box);
    m_time->setObjectName("managerTime");
    for (QPushButton* button : {m_play, m_pause, m_stop}) {
        controls->addWidget(button);
    }
    controls->addWidget(m_time, 1);
    column->addLayout(controls);

    m_status = new QLabel(box);
    m_status->setObjectName("managerStatus");
    column->addWidget(m_status);
    auto* exitRow = new QHBoxLayout;
    m_exit = new QPushButton(tr("Exit"), box);
    exitRow->addStretch(1);
    exitRow->addWidget(m_exit);
    column->addLayout(exitRow);

    connect(m_open, &QPushButton::clicked, this, &AsfManagerDialog::BrowseFile);
    connect(m_play, &QPushButton::clicked, this, &AsfManagerDialog::Play);
    connect(m_pause, &QPushButton::clicked, this, &AsfManagerDialog::Pause);
    connect(m_stop, &QPushButton::clicked, this, &AsfManagerDialog::Stop);
    connect(m_exit, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_slider, &QSlider::sliderPressed, this, [this] { m_dragging = true; });
    connect(m_slider, &QSlider::sliderMoved, this, [this](int value) {
        m_time->setText(QStringLiteral("%1 %2").arg(Mark(), Q(FormatTime(value))));
    });
    connect(m_slider, &QSlider::sliderReleased, this, [this] {
        m_dragging = false;
        if (m_playState != kStopped) {
            m_player.Seek(m_slider->value());
        }
    });
    return box;
}

bool AsfManagerDialog::OpenFile(const QString& path) {
    AsfInfo info;
    if (!info.Parse(TextPath(path))) {
        return false;
    }
    Stop();
    DisconnectBackend();
    m_player.Close();
    m_canvas->ClearFrame();
    m_canvas->State().showVideo = false;
    m_canvas->update();
    m_info = std::move(info);
    m_hasFile = true;
    m_path->setText(path);
    m_status->setText(StatusText());
    // One duration for the slider and the cut, so that a selection made on
    // the slider is the range the cut takes.
    const int duration = std::max(0, m_info.GetDurationSeconds());
    m_slider->setRange(0, duration);
    m_slider->setValue(0);
    m_slider->SetSelection(0, duration);
    m_cutPage->Setup(m_info);
    m_capturePage->Setup(m_info.GetPath(), m_settings.m_baseDirectory);
    m_infoPage->Fill(m_info);
    ShowTabs(true);
    m_tabs->setEnabled(true);
    return true;
}

QString AsfManagerDialog::StatusText() const {
    const QString size = Q(FormatSize(m_info.GetFileSize()));
    const QString time = Q(FormatTime(m_info.GetDurationSeconds()));
    if (m_info.GetAudioFlag() != 0) {
        return tr("Size:%1, Time:%2").arg(size, time);
    }
    const BitmapInfoHeader& video = m_info.GetVideoFormat();
    return tr("Size:%1, Time:%2, Video size:%3x%4")
        .arg(size, time)
        .arg(video.width)
        .arg(video.height);
}

void AsfManagerDialog::ShowTabs(bool shown) {
    m_tabs->setVisible(shown);
    // Without a file the window is the preview column alone.
    adjustSize();
}

void AsfManagerDialog::BrowseFile() {
    PathDialog request;
    request.choice = PathChoice::kOpenFile;
    request.objectName = "managerOpenDialog";
    request.caption = tr("Open");
    request.filter = tr("Video files (*.asf *.wmv);;All files (*)");
    request.defaultSuffix = "asf";
    request.startFile = Q(m_profile.GetString(kPathSection, kVideoPath, ""));
    ChoosePaths(this, request, this, [this](const QStringList& files) {
        if (files.isEmpty()) {
            return;
        }
        (void)m_profile.WriteString(kPathSection, kVideoPath, TextPath(files.front()).string());
        if (!OpenFile(files.front())) {
            // Silent: the pages keep nothing of a file that is no ASF file.
            m_tabs->setEnabled(false);
        }
    });
}

void AsfManagerDialog::ConnectBackend() {
    GstPlayer* backend = m_player.Backend();
    if (backend == nullptr) {
        return;
    }
    VideoCanvas* canvas = m_canvas;
    std::atomic<FrameSnapshot*>* snapshot = &m_snapshot;
    backend->SetFrameCallback([canvas, snapshot](const VideoFrame& frame) {
        canvas->TakeFrame(frame);
        if (FrameSnapshot* capture = snapshot->load()) {
            capture->OnFrame(frame);
        }
    });
}

void AsfManagerDialog::DisconnectBackend() {
    if (GstPlayer* backend = m_player.Backend()) {
        backend->RemoveFrameCallback();
    }
}

void AsfManagerDialog::SetSnapshot(FrameSnapshot* snapshot) {
    FrameSnapshot* previous = m_snapshot.exchange(snapshot);
    if (previous == nullptr || previous == snapshot) {
        return;
    }
    // A frame may be in the previous snapshot right now: removing the
    // callback waits for it; the callback comes back for the next frames.
    DisconnectBackend();
    if (m_player.IsOpen()) {
        ConnectBackend();
    }
}

void AsfManagerDialog::Play() {
    if (!m_hasFile) {
        return;
    }
    if (m_playState == kPaused) {
        Pause();
        return;
    }
    const int from = m_slider->value();
    m_timer.stop();
    m_playState = kStopped;
    DisconnectBackend();
    m_canvas->ClearFrame();
    if (!m_player.Open(m_info.GetPath().string())) {
        m_canvas->State().showVideo = false;
        m_canvas->update();
        return;
    }
    ConnectBackend();
    m_canvas->State().showVideo = !m_player.IsAudioOnly();
    m_canvas->State().layout.m_video = QSize(m_player.GetVideoWidth(), m_player.GetVideoHeight());
    if (from > 0) {
        m_player.Seek(from);
    }
    if (!m_player.Play()) {
        return;
    }
    m_playState = kPlaying;
    m_timer.start();
    ShowTime(m_player.GetPosition());
}

void AsfManagerDialog::Pause() {
    if (m_playState == kPlaying && m_player.Pause()) {
        m_playState = kPaused;
    } else if (m_playState == kPaused && m_player.Play()) {
        m_playState = kPlaying;
    }
}

void AsfManagerDialog::Stop() {
    m_timer.stop();
    if (m_player.IsOpen()) {
        m_player.Stop();
        m_player.Seek(0);
    }
    m_playState = kStopped;
    m_slider->setValue(0);
    ShowTime(0);
}

void AsfManagerDialog::Jump(int seconds) {
    if (m_playState == kStopped) {
        Play();
        m_player.Seek(seconds);
    } else if (m_playState == kPaused) {
        m_player.Seek(seconds);
        Pause();
    } else {
        m_player.Seek(seconds);
    }
    ShowTime(m_player.GetPosition());
}

bool AsfManagerDialog::PlayIfStopped() {
    if (m_playState == kPaused) {
        m_player.Seek(0);
        Pause();
    } else if (m_playState == kStopped) {
        m_slider->setValue(0);
        Play();
    }
    return m_playState == kPlaying;
}

void AsfManagerDialog::Tick() {
    const int position = m_player.GetPosition();
    if (!m_dragging) {
        m_slider->setValue(position);
        ShowTime(position);
    }
    if (m_repeat && m_playState == kPlaying && position >= m_slider->SelectionEnd()) {
        m_player.Seek(m_slider->SelectionStart());
    }
    long param1 = 0;
    long param2 = 0;
    const int event = m_player.PollEvent(&param1, &param2);
    if (event == GstPlayer::kEventComplete || event == GstPlayer::kEventErrorAbort) {
        Stop();
    }
}

QString AsfManagerDialog::Mark() {
    switch (m_playState) {
        case kPaused:
            // Blinks: the mark and blanks take turns on every tick.
            m_blinkOn = !m_blinkOn;
            return m_blinkOn ? QStringLiteral("◈") : QStringLiteral("   ");
        case kPlaying:
            return QStringLiteral("▶");
        default:
            return QStringLiteral("■");
    }
}

void AsfManagerDialog::ShowTime(int seconds) {
    m_time->setText(QStringLiteral("%1 %2").arg(Mark(), Q(FormatTime(seconds))));
}

int AsfManagerDialog::SliderPosition() const {
    return m_slider->value();
}

int AsfManagerDialog::SelectionStart() const {
    return m_slider->SelectionStart();
}

int AsfManagerDialog::SelectionEnd() const {
    return m_slider->SelectionEnd();
}

void AsfManagerDialog::SetSelection(int start, int end) {
    m_slider->SetSelection(start, end);
}

bool AsfManagerDialog::GetVideoInfo(VideoInfo* info) {
    const GstPlayer* backend = m_player.Backend();
    return backend != nullptr && m_player.IsOpen() && backend->GetVideoInfo(info);
}

bool AsfManagerDialog::SaveCurrentImage(const std::filesystem::path& path) const {
    return m_player.SaveCurrentImage(path);
}

void AsfManagerDialog::done(int result) {
    Shutdown();
    QDialog::done(result);
}

void AsfManagerDialog::Shutdown() {
    m_timer.stop();
    m_cutPage->CancelCut();
    m_capturePage->StopCapture();
    DisconnectBackend();
    m_player.Close();
    m_playState = kStopped;
}

}  // namespace tapewell::gui
