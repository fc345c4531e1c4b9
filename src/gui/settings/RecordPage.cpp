#include "gui/settings/RecordPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/app/FileDialogs.h"
#include "gui/app/UiPrompt.h"
#include "settings/AppSettings.h"
#include "settings/FolderPath.h"

namespace tapewell::gui {
namespace {

constexpr int kMaxSizeMiB = 1'000'000;
constexpr int kMaxMinutes = 10'000;

QCheckBox* MakeBox(const QString& text, const char* name, bool checked, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

// A number typed past the maximum ("75" seconds) becomes the maximum when
// the box is left, instead of its last digit being refused unseen (which
// would leave 7). A value outside the range from a hand-edited profile shows
// as the nearest end of it.
class ClampingSpinBox final : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

    QValidator::State validate(QString& text, int& pos) const override {
        const QValidator::State state = QSpinBox::validate(text, pos);
        if (state == QValidator::Invalid && IsPastMaximum(text)) {
            return QValidator::Intermediate;
        }
        return state;
    }

    void fixup(QString& text) const override {
        if (IsPastMaximum(text)) {
            text = QString::number(maximum());
        }
    }

private:
    // A whole number above the maximum: one this box can clamp.
    bool IsPastMaximum(const QString& text) const {
        bool ok = false;
        const qlonglong number = text.trimmed().toLongLong(&ok);
        return ok && number > maximum();
    }
};

QSpinBox* MakeSpin(const char* name, int minimum, int maximum, int value, QWidget* parent) {
    auto* spin = new ClampingSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    return spin;
}

}  // namespace

RecordPage::RecordPage(const AppSettings& settings, const std::vector<std::string>& agentHistory,
                       QWidget* parent)
    : QWidget(parent),
      m_folder(new QLineEdit(QString::fromStdString(settings.m_baseDirectory), this)),
      m_browse(new QPushButton(tr("Browser..."), this)),
      m_overwrite(
          MakeBox(tr("Overwrite confirmation"), "overwrite", settings.m_overwriteConfirm, this)),
      m_resume(MakeBox(tr("Resumable confirmation"), "resume", settings.m_resumeConfirm, this)),
      m_liveTimeInfo(MakeBox(tr("Save time info, if live content."), "liveTimeInfo",
                             settings.m_liveSaveTimeInfo, this)),
      m_sizeLimit(MakeBox(tr("Max Size"), "sizeLimit", settings.m_sizeLimitOn, this)),
      m_maxSize(MakeSpin("maxSize", 1, kMaxSizeMiB, settings.m_maxSizeMiB, this)),
      m_sizeUnit(new QLabel(tr("MB"), this)),
      m_timeLimit(MakeBox(tr("Max Time"), "timeLimit", settings.m_timeLimitOn, this)),
      m_minutes(MakeSpin("minutes", 0, kMaxMinutes, settings.m_maxTimeSeconds / 60, this)),
      m_minutesUnit(new QLabel(tr("M"), this)),
      m_seconds(MakeSpin("seconds", 0, 59, settings.m_maxTimeSeconds % 60, this)),
      m_secondsUnit(new QLabel(tr("S"), this)),
      m_reconnectTries(MakeSpin("reconnectTries", 0, AppSettings::kMaxReconnectTries,
                                settings.m_reconnectTries, this)),
      m_concurrent(MakeSpin("concurrentRecordings", 1, AppSettings::kMaxConcurrentRecordings,
                            settings.m_concurrentRecordings, this)),
      m_agent(new QComboBox(this)) {
    setObjectName("recordPage");
    m_folder->setObjectName("folder");
    m_browse->setObjectName("browse");
    m_browse->setAutoDefault(false);
    m_agent->setObjectName("agent");
    m_agent->setEditable(true);
    // A typed agent joins the list when the sheet is confirmed, not on Enter.
    m_agent->setInsertPolicy(QComboBox::NoInsert);
    FillAgents(agentHistory, settings.m_playerAgent);

    auto* folderRow = new QHBoxLayout;
    auto* folderLabel = new QLabel(tr("Default Path :"), this);
    folderLabel->setBuddy(m_folder);
    folderRow->addWidget(folderLabel);
    folderRow->addWidget(m_folder, 1);
    folderRow->addWidget(m_browse);

    auto* limits = new QGridLayout;
    limits->addWidget(m_sizeLimit, 0, 0);
    limits->addWidget(m_maxSize, 0, 1);
    limits->addWidget(m_sizeUnit, 0, 2);
    limits->addWidget(m_timeLimit, 1, 0);
    limits->addWidget(m_minutes, 1, 1);
    limits->addWidget(m_minutesUnit, 1, 2);
    limits->addWidget(m_seconds, 1, 3);
    limits->addWidget(m_secondsUnit, 1, 4);
    limits->setColumnStretch(5, 1);

    m_reconnectTries->setToolTip(
        tr("How often a live recording that breaks off connects again into the same file; "
           "0 ends it at the first break."));
    m_concurrent->setToolTip(tr("How many rows of the list record at the same time."));
    auto* jobs = new QFormLayout;
    auto* reconnectLabel = new QLabel(tr("Reconnect Tries :"), this);
    reconnectLabel->setBuddy(m_reconnectTries);
    jobs->addRow(reconnectLabel, m_reconnectTries);
    auto* concurrentLabel = new QLabel(tr("Concurrent Recordings :"), this);
    concurrentLabel->setBuddy(m_concurrent);
    jobs->addRow(concurrentLabel, m_concurrent);
    // The boxes stay as narrow as their numbers; the labels take the rest.
    jobs->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);

    auto* agentRow = new QHBoxLayout;
    auto* agentLabel = new QLabel(tr("Player agent :"), this);
    agentLabel->setBuddy(m_agent);
    agentRow->addWidget(agentLabel);
    agentRow->addWidget(m_agent, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(folderRow);
    layout->addWidget(m_overwrite);
    layout->addWidget(m_resume);
    layout->addWidget(m_liveTimeInfo);
    layout->addLayout(limits);
    layout->addLayout(jobs);
    layout->addLayout(agentRow);
    layout->addStretch();

    connect(m_browse, &QPushButton::clicked, this, &RecordPage::Browse);
    connect(m_sizeLimit, &QCheckBox::toggled, this, &RecordPage::UpdateLimitControls);
    connect(m_timeLimit, &QCheckBox::toggled, this, &RecordPage::UpdateLimitControls);
    UpdateLimitControls();
}

void RecordPage::FillAgents(const std::vector<std::string>& history, const std::string& current) {
    for (const std::string& entry : history) {
        m_agent->addItem(QString::fromStdString(entry));
    }
    const QString currentText = QString::fromStdString(current);
    int index = m_agent->findText(currentText, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index < 0) {
        m_agent->addItem(currentText);
        index = m_agent->count() - 1;
    }
    m_agent->setCurrentIndex(index);
}

void RecordPage::UpdateLimitControls() {
    const bool size = m_sizeLimit->isChecked();
    m_maxSize->setEnabled(size);
    m_sizeUnit->setEnabled(size);
    const bool time = m_timeLimit->isChecked();
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_minutes, m_minutesUnit, m_seconds, m_secondsUnit}) {
        control->setEnabled(time);
    }
}

void RecordPage::Browse() {
    PathDialog request;
    request.choice = PathChoice::kFolder;
    request.objectName = "folderDialog";
    request.caption = tr("File Folder");
    request.startFolder = m_folder->text();
    ChoosePaths(this, request, this, [this](const QStringList& chosen) {
        if (!chosen.isEmpty()) {
            m_folder->setText(chosen.front());
        }
    });
}

void RecordPage::Apply(AppSettings& settings) const {
    const std::string folder = m_folder->text().toStdString();
    if (!folder.empty()) {
        CreateFolderPath(folder);
        settings.m_baseDirectory = folder;
    }
    settings.m_overwriteConfirm = m_overwrite->isChecked();
    settings.m_resumeConfirm = m_resume->isChecked();
    settings.m_liveSaveTimeInfo = m_liveTimeInfo->isChecked();
    settings.m_sizeLimitOn = m_sizeLimit->isChecked();
    settings.m_maxSizeMiB = m_maxSize->value();
    settings.m_maxTimeSeconds = m_minutes->value() * 60 + m_seconds->value();
    settings.m_timeLimitOn = m_timeLimit->isChecked();
    settings.m_reconnectTries = m_reconnectTries->value();
    settings.m_concurrentRecordings = m_concurrent->value();
    const QString agent = m_agent->currentText();
    if (!agent.isEmpty()) {
        settings.m_playerAgent = agent.toStdString();
    }
}

std::vector<std::string> RecordPage::AgentEntries() const {
    std::vector<std::string> entries;
    entries.reserve(static_cast<size_t>(m_agent->count()));
    for (int i = 0; i < m_agent->count(); ++i) {
        entries.push_back(m_agent->itemText(i).toStdString());
    }
    return entries;
}

}  // namespace tapewell::gui
