#include "gui/manager/CutPage.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

#include "asf/AsfCutter.h"
#include "common/SizeTimeText.h"
#include "gui/app/FileDialogs.h"
#include "gui/app/UiPrompt.h"
#include "gui/manager/PreviewControl.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPathSection = "Path";
constexpr const char* kVideoPath = "video";
// The progress bar counts in thousandths, whatever the packet count.
constexpr int kProgressSteps = 1000;

QString TimeText(int seconds) {
    return QString::fromStdString(FormatTime(seconds));
}

}  // namespace

CutPage::CutPage(PreviewControl& preview, ProfileStore& profile, QWidget* parent)
    : QWidget(parent), m_preview(preview), m_profile(profile) {
    setObjectName("cutPage");
    auto* layout = new QVBoxLayout(this);
    auto* outputRow = new QHBoxLayout;
    m_output = new QLineEdit(this);
    m_output->setObjectName("cutOutput");
    m_browse = new QPushButton(tr("Browse..."), this);
    outputRow->addWidget(new QLabel(tr("Output:"), this));
    outputRow->addWidget(m_output, 1);
    outputRow->addWidget(m_browse);
    layout->addLayout(outputRow);
    layout->addWidget(BuildRange());
    layout->addWidget(BuildActions());
    layout->addStretch(1);

    connect(m_browse, &QPushButton::clicked, this, &CutPage::Browse);
    connect(m_output, &QLineEdit::textChanged, this, &CutPage::UpdateOutputButtons);
    setEnabled(false);
}

CutPage::~CutPage() {
    CancelCut();
}

QWidget* CutPage::BuildRange() {
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    m_takeStart = new QPushButton(tr("Start"), box);
    m_takeEnd = new QPushButton(tr("End"), box);
    m_startText = new QLabel(TimeText(0), box);
    m_endText = new QLabel(TimeText(0), box);
    m_lengthText = new QLabel(TimeText(0), box);
    m_startSpin = new QSpinBox(box);
    m_endSpin = new QSpinBox(box);
    m_jumpStart = new QPushButton(tr("Jump"), box);
    m_jumpEnd = new QPushButton(tr("Jump"), box);
    m_repeat = new QCheckBox(tr("Repeat"), box);
    grid->addWidget(m_takeStart, 0, 0);
    grid->addWidget(m_startText, 0, 1);
    grid->addWidget(m_startSpin, 0, 2);
    grid->addWidget(m_jumpStart, 0, 3);
    grid->addWidget(m_takeEnd, 1, 0);
    grid->addWidget(m_endText, 1, 1);
    grid->addWidget(m_endSpin, 1, 2);
    grid->addWidget(m_jumpEnd, 1, 3);
    grid->addWidget(new QLabel(tr("Length:"), box), 2, 0);
    grid->addWidget(m_lengthText, 2, 1);
    grid->addWidget(m_repeat, 2, 2, 1, 2);

    connect(m_takeStart, &QPushButton::clicked, this, &CutPage::TakeSliderStart);
    connect(m_takeEnd, &QPushButton::clicked, this, &CutPage::TakeSliderEnd);
    connect(m_startSpin, &QSpinBox::valueChanged, this, &CutPage::OnStartSpin);
    connect(m_endSpin, &QSpinBox::valueChanged, this, &CutPage::OnEndSpin);
    connect(m_jumpStart, &QPushButton::clicked, this, [this] { m_preview.Jump(m_start); });
    connect(m_jumpEnd, &QPushButton::clicked, this, [this] { m_preview.Jump(m_end); });
    connect(m_repeat, &QCheckBox::toggled, this, [this](bool on) { m_preview.SetRepeat(on); });
    return box;
}

QWidget* CutPage::BuildActions() {
    auto* box = new QWidget(this);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QHBoxLayout;
    m_cut = new QPushButton(tr("Cut"), box);
    m_play = new QPushButton(tr("Play"), box);
    m_delete = new QPushButton(tr("Delete"), box);
    buttons->addWidget(m_cut);
    buttons->addWidget(m_play);
    buttons->addWidget(m_delete);
    buttons->addStretch(1);
    m_progress = new QProgressBar(box);
    m_progress->setRange(0, kProgressSteps);
    m_progress->setValue(0);
    layout->addLayout(buttons);
    layout->addWidget(m_progress);

    connect(m_cut, &QPushButton::clicked, this, &CutPage::StartCut);
    connect(m_play, &QPushButton::clicked, this, &CutPage::PlayOutput);
    connect(m_delete, &QPushButton::clicked, this, &CutPage::DeleteOutput);
    return box;
}

void CutPage::Setup(const AsfInfo& info) {
    CancelCut();
    m_info = info;
    m_hasFile = true;
    // The slider runs over the same duration, so that a selection made on
    // it is the range the cut takes.
    const int duration = std::max(0, info.GetDurationSeconds());
    {
        const QSignalBlocker blockStart(m_startSpin);
        const QSignalBlocker blockEnd(m_endSpin);
        m_startSpin->setRange(0, duration);
        m_endSpin->setRange(0, duration);
    }
    SetRange(0, duration);
    m_output->setText(PathText(CutOutputPath(info.GetPath())));
    m_progress->setValue(0);
    m_cut->setEnabled(true);
    setEnabled(true);
    UpdateOutputButtons();
}

std::filesystem::path CutPage::Output() const {
    return TextPath(m_output->text().trimmed());
}

void CutPage::SetRange(int start, int end) {
    m_start = start;
    m_end = end;
    m_startText->setText(TimeText(start));
    m_endText->setText(TimeText(end));
    m_lengthText->setText(TimeText(end - start));
    const QSignalBlocker blockStart(m_startSpin);
    const QSignalBlocker blockEnd(m_endSpin);
    m_startSpin->setValue(start);
    m_endSpin->setValue(end);
    m_preview.SetSelection(start, end);
}

void CutPage::OnStartSpin(int value) {
    if (value < m_end) {
        SetRange(value, m_end);
    } else {
        const QSignalBlocker block(m_startSpin);
        m_startSpin->setValue(m_start);
    }
}

void CutPage::OnEndSpin(int value) {
    if (value > m_start) {
        SetRange(m_start, value);
    } else {
        const QSignalBlocker block(m_endSpin);
        m_endSpin->setValue(m_end);
    }
}

void CutPage::TakeSliderStart() {
    const int position = m_preview.SliderPosition();
    if (position >= 1 && position <= m_preview.SelectionEnd()) {
        SetRange(position, m_end);
    }
}

void CutPage::TakeSliderEnd() {
    const int position = m_preview.SliderPosition();
    if (position >= 1 && position >= m_preview.SelectionStart()) {
        SetRange(m_start, position);
    }
}

void CutPage::Browse() {
    PathDialog request;
    request.choice = PathChoice::kSaveFile;
    request.objectName = "cutSaveDialog";
    request.caption = tr("Save As");
    request.filter = tr("Video files (*.asf *.wmv);;All files (*)");
    request.defaultSuffix = "asf";
    request.startFile = QString::fromStdString(m_profile.GetString(kPathSection, kVideoPath, ""));
    ChoosePaths(this, request, this, [this](const QStringList& files) {
        if (files.isEmpty()) {
            return;
        }
        m_output->setText(files.front());
        // The profile keeps the file last opened in the manager.
        (void)m_profile.WriteString(kPathSection, kVideoPath, m_info.GetPath().string());
    });
}

void CutPage::StartCut() {
    if (!m_hasFile || IsCutting()) {
        return;
    }
    m_cancel = false;
    const uint64_t serial = ++m_serial;
    m_cut->setEnabled(false);
    m_play->setEnabled(false);
    m_delete->setEnabled(false);
    m_progress->setValue(0);
    QPointer<CutPage> self(this);
    m_worker = std::thread([this, self, serial, info = m_info, start = m_start, end = m_end,
                            output = Output()] {
        const AsfCutter cutter(
            [this](uint64_t done, uint64_t total) { OnWorkerProgress(done, total); }, &m_cancel);
        ErrorOr<AsfCutter::Result> result = cutter.Cut(info.GetPath(), info, start, end, output);
        std::optional<QString> failure;
        if (!result) {
            failure = QString::fromStdString(result.error().message);
        }
        // The page outlives this thread (it joins it), so posting to it
        // is safe; the call is dropped if the page goes before it runs.
        QMetaObject::invokeMethod(
            this,
            [self, serial, failure] {
                if (self) {
                    self->OnCutDone(serial, failure);
                }
            },
            Qt::QueuedConnection);
    });
}

void CutPage::OnWorkerProgress(uint64_t done, uint64_t total) {
    m_done = done;
    m_total = total;
    if (!m_progressPending.exchange(true)) {
        QMetaObject::invokeMethod(this, &CutPage::ShowProgress, Qt::QueuedConnection);
    }
}

void CutPage::ShowProgress() {
    m_progressPending = false;
    const uint64_t total = m_total;
    const uint64_t done = std::min<uint64_t>(m_done, total);
    m_progress->setValue(total == 0 ? 0 : static_cast<int>(done * kProgressSteps / total));
}

void CutPage::OnCutDone(uint64_t serial, std::optional<QString> failure) {
    if (serial != m_serial) {
        return;  // a cut cancelled since; its thread is joined
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
    m_cut->setEnabled(true);
    UpdateOutputButtons();
    if (failure) {
        m_progress->setValue(0);
        UiPrompt::Instance().Tell(this, QMessageBox::Warning,
                                  tr("The cut was not written:\n%1").arg(*failure));
    } else {
        m_progress->setValue(kProgressSteps);
    }
}

void CutPage::CancelCut() {
    if (!m_worker.joinable()) {
        return;
    }
    m_cancel = true;
    m_worker.join();
    ++m_serial;
    m_progress->setValue(0);
    m_cut->setEnabled(m_hasFile);
    UpdateOutputButtons();
}

void CutPage::PlayOutput() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(PathText(Output())));
}

void CutPage::DeleteOutput() {
    std::error_code ignored;
    fs::remove(Output(), ignored);
    UpdateOutputButtons();
}

void CutPage::UpdateOutputButtons() {
    std::error_code ignored;
    const bool written = !IsCutting() && fs::is_regular_file(Output(), ignored);
    m_play->setEnabled(written);
    m_delete->setEnabled(written);
}

}  // namespace tapewell::gui
