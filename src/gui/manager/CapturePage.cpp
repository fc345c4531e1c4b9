#include "gui/manager/CapturePage.h"

#include <QCheckBox>
#include <QDebug>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/app/FileDialogs.h"
#include "gui/app/UiPrompt.h"
#include "gui/manager/PreviewControl.h"
#include "gui/manager/PreviewStrip.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;

constexpr int kMaxSpin = 100;
constexpr const char* kSaveFolder = "save";
constexpr const char* kSingleCapture = "_save.bmp";

QSpinBox* NewSpin(QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(0, kMaxSpin);
    spin->setValue(1);
    return spin;
}

}  // namespace

CapturePage::CapturePage(PreviewControl& preview, QWidget* parent)
    : QWidget(parent), m_preview(preview) {
    setObjectName("capturePage");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildFields());
    auto* buttons = new QHBoxLayout;
    m_start = new QPushButton(tr("Capture Start"), this);
    m_stop = new QPushButton(tr("Stop"), this);
    m_capture = new QPushButton(tr("Capture"), this);
    m_deleteAll = new QPushButton(tr("Delete All"), this);
    for (QPushButton* button : {m_start, m_stop, m_capture, m_deleteAll}) {
        buttons->addWidget(button);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    m_strip = new PreviewStrip(this);
    layout->addWidget(m_strip);
    m_lastFile = new QLabel(this);
    m_lastFile->setObjectName("lastPicture");
    m_lastFile->setTextFormat(Qt::PlainText);
    m_lastFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_lastFile);
    layout->addStretch(1);

    connect(m_start, &QPushButton::clicked, this, &CapturePage::StartCapture);
    connect(m_stop, &QPushButton::clicked, this, &CapturePage::StopCapture);
    connect(m_capture, &QPushButton::clicked, this, &CapturePage::CaptureOne);
    connect(m_deleteAll, &QPushButton::clicked, this, &CapturePage::DeleteAll);
    connect(m_previewOnly, &QCheckBox::toggled, this, [this](bool on) {
        if (m_snapshot) {
            m_snapshot->SetPreviewOnly(on);
        }
    });
    setEnabled(false);
    UpdateButtons();
}

CapturePage::~CapturePage() {
    StopCapture();
}

QWidget* CapturePage::BuildFields() {
    auto* box = new QWidget(this);
    auto* form = new QFormLayout(box);
    form->setContentsMargins(0, 0, 0, 0);
    auto* folderRow = new QHBoxLayout;
    m_folder = new QLineEdit(box);
    m_folder->setObjectName("captureFolder");
    m_browse = new QPushButton(tr("Browse..."), box);
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);
    form->addRow(tr("Folder:"), folderRow);
    m_base = new QLineEdit(box);
    m_base->setObjectName("captureBaseName");
    form->addRow(tr("Base name:"), m_base);
    // M pictures every N seconds of media time.
    m_seconds = NewSpin(box);
    m_pictures = NewSpin(box);
    form->addRow(tr("Interval (seconds):"), m_seconds);
    form->addRow(tr("Pictures per interval:"), m_pictures);
    m_previewOnly = new QCheckBox(tr("Preview only"), box);
    m_previewOnly->setChecked(true);
    form->addRow(QString(), m_previewOnly);
    connect(m_browse, &QPushButton::clicked, this, &CapturePage::BrowseFolder);
    return box;
}

void CapturePage::Setup(const fs::path& source, const fs::path& baseFolder) {
    StopCapture();
    const fs::path folder = baseFolder / kSaveFolder;
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    m_folder->setText(PathText(folder));
    m_base->setText(PathText(source.stem()));
    m_strip->Clear();
    m_lastFile->clear();
    setEnabled(true);
    UpdateButtons();
}

fs::path CapturePage::Folder() const {
    return TextPath(m_folder->text().trimmed());
}

QString CapturePage::BaseName() const {
    return m_base->text().trimmed();
}

void CapturePage::BrowseFolder() {
    PathDialog request;
    request.choice = PathChoice::kFolder;
    request.objectName = "captureFolderDialog";
    request.caption = tr("Folder");
    request.startFolder = m_folder->text();
    ChoosePaths(this, request, this, [this](const QStringList& folders) {
        if (!folders.isEmpty()) {
            m_folder->setText(folders.front());
        }
    });
}

void CapturePage::StartCapture() {
    StopCapture();
    if (!m_preview.PlayIfStopped()) {
        return;
    }
    VideoInfo video;
    if (!m_preview.GetVideoInfo(&video)) {
        return;
    }
    FrameSnapshot::Settings settings{Folder(), TextPath(BaseName()).string(), m_seconds->value(),
                                     m_pictures->value(), m_previewOnly->isChecked()};
    // The line a saved picture writes goes to the program's log.
    auto log = [](std::string_view line) {
        qInfo().noquote()
            << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())).trimmed();
    };
    // Streaming thread: the small image is made here, where the frame's
    // bytes are, and posted; the strip paints it on the UI thread.
    QPointer<CapturePage> self(this);
    auto preview = [this, self](const VideoFrame& frame, const FrameSnapshot::Taken& taken) {
        QImage image = PreviewStrip::Thumbnail(frame);
        QMetaObject::invokeMethod(
            this,
            [self, image = std::move(image), slot = taken.slot,
             label = QString::fromStdString(taken.label), saved = !taken.previewOnly,
             file = PathText(taken.file)] {
                if (self) {
                    self->OnTaken(slot, image, label, saved, file);
                }
            },
            Qt::QueuedConnection);
    };
    m_snapshot = std::make_unique<FrameSnapshot>(std::move(settings), log, preview);
    m_preview.SetSnapshot(m_snapshot.get());
    UpdateButtons();
}

void CapturePage::StopCapture() {
    if (!m_snapshot) {
        return;
    }
    // The preview lets go of the snapshot, waiting for a frame in flight,
    // before it is freed.
    m_preview.SetSnapshot(nullptr);
    m_snapshot.reset();
    UpdateButtons();
}

void CapturePage::OnTaken(int slot, const QImage& image, const QString& label, bool saved,
                          const QString& file) {
    m_strip->Show(slot, image, label, saved);
    if (!file.isEmpty()) {
        m_lastFile->setText(file);
    }
}

void CapturePage::CaptureOne() {
    if (!m_preview.IsPlaying()) {
        return;
    }
    const fs::path file = Folder() / (TextPath(BaseName()).string() + kSingleCapture);
    if (m_preview.SaveCurrentImage(file)) {
        m_lastFile->setText(PathText(file));
    }
}

void CapturePage::DeleteAll() {
    const fs::path folder = Folder();
    const std::string base = TextPath(BaseName()).string();
    const size_t count = FrameSnapshot::FindPictures(folder, base).size();
    QPointer<CapturePage> self(this);
    UiPrompt::Instance().Ask(this, tr("%1 files will be deleted.\n\nDelete them?").arg(count),
                             QMessageBox::Yes | QMessageBox::No,
                             [self, folder, base](UiPrompt::Answer answer) {
                                 if (self && answer == QMessageBox::Yes) {
                                     FrameSnapshot::DeletePictures(folder, base);
                                 }
                             });
}

void CapturePage::UpdateButtons() {
    m_stop->setEnabled(m_snapshot != nullptr);
}

}  // namespace tapewell::gui
