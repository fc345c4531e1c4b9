#include "gui/list/PlanCommands.h"

#include <QAction>
#include <QDateTime>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <optional>

#include "app/RecordList.h"
#include "app/RecordScheduler.h"
#include "gui/app/ActionTable.h"
#include "gui/app/UiPrompt.h"
#include "gui/list/RecordCommands.h"
#include "gui/list/RowPlanDialogs.h"

namespace tapewell::gui {
namespace {

constexpr int kTickMs = 1000;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

ScheduleDialog::Repeat DialogRepeat(PlanRepeat repeat) {
    switch (repeat) {
        case PlanRepeat::Daily:
            return ScheduleDialog::kDaily;
        case PlanRepeat::Weekly:
            return ScheduleDialog::kWeekly;
        case PlanRepeat::Once:
            break;
    }
    return ScheduleDialog::kOnce;
}

PlanRepeat StoredRepeat(ScheduleDialog::Repeat repeat) {
    switch (repeat) {
        case ScheduleDialog::kDaily:
            return PlanRepeat::Daily;
        case ScheduleDialog::kWeekly:
            return PlanRepeat::Weekly;
        case ScheduleDialog::kOnce:
            break;
    }
    return PlanRepeat::Once;
}

bool KeepsAllStreams(const std::string& streams) {
    return streams.empty() || streams == "all";
}

}  // namespace

PlanCommands::PlanCommands(RecordList& list, RecordCommands& recording, ActionTable& actions,
                           QWidget* window)
    : QObject(window),
      m_list(list),
      m_recording(recording),
      m_window(window),
      m_plans(RecordPlans::DefaultPath()),
      m_target(std::make_unique<SchedulerPlanTarget<RecordScheduler>>(recording.Scheduler())),
      m_clock(new QTimer(this)) {
    LoadPlans();
    m_runner = std::make_unique<PlanRunner>(list, m_plans, *m_target, PlanRunner::SystemNow,
                                            StatusTexts());
    m_runner->SetSaveFailed([this](const Error& error) {
        UiPrompt::Instance().Tell(m_window, QMessageBox::Warning,
                                  tr("The schedules could not be saved: %1").arg(Q(error.message)));
    });
    recording.Scheduler().SetStreamsLookup([this](const std::string& address) {
        const RecordPlan* plan = m_plans.Find(address);
        return plan != nullptr ? plan->streams : std::string();
    });
    CreateActions(actions);
    connect(m_clock, &QTimer::timeout, this, [this] { m_runner->Tick(); });
    m_clock->start(kTickMs);
    UpdateActions();
}

PlanCommands::~PlanCommands() {
    m_recording.Scheduler().SetStreamsLookup({});
}

PlanStatusTexts PlanCommands::StatusTexts() {
    PlanStatusTexts texts;
    // The runner puts the start ("2026-05-01 21:00") in place of %s.
    texts.scheduled = tr("Scheduled %s").toStdString();
    texts.missed = tr("Missed %s").toStdString();
    return texts;
}

void PlanCommands::LoadPlans() {
    const ErrorOr<void> loaded = m_plans.Load();
    if (loaded) {
        return;
    }
    const QString reason = Q(loaded.error().message);
    const QString text =
        m_plans.SetAsideName().empty()
            ? tr("The schedules could not be read (%1). The file is left as it is, and no "
                 "schedule is kept until it is moved away.")
                  .arg(reason)
            : tr("The schedules could not be read (%1). The file was kept as %2 and no "
                 "recording is scheduled.")
                  .arg(reason, Q(m_plans.SetAsideName()));
    // Told once the window is up, not while it is being made.
    QMetaObject::invokeMethod(
        this, [this, text] { UiPrompt::Instance().Tell(m_window, QMessageBox::Warning, text); },
        Qt::QueuedConnection);
}

void PlanCommands::CreateActions(ActionTable& actions) {
    m_stopRecording = actions.Add(command::kStopRecording, tr("Stop Recording"));
    connect(m_stopRecording, &QAction::triggered, this, &PlanCommands::StopSelected);
    m_schedule = actions.Add(command::kSchedule, tr("Schedule..."));
    connect(m_schedule, &QAction::triggered, this, &PlanCommands::ScheduleSelected);
    m_streams = actions.Add(command::kStreams, tr("Streams..."));
    connect(m_streams, &QAction::triggered, this, &PlanCommands::ChooseStreams);
}

std::vector<int> PlanCommands::SelectedRows() const {
    std::vector<int> rows;
    for (int row = m_list.FirstSelectedRow(); row != RecordList::kNoSelection;
         row = m_list.NextSelectedRow(row)) {
        rows.push_back(row);
    }
    return rows;
}

bool PlanCommands::IsNetworkRow(int row) const {
    return row >= 0 && row < m_list.RowCount() && m_list.Row(row).mark != kMarkLocal;
}

std::string PlanCommands::RowLabel(int row) const {
    const std::string name = m_list.GetCellText(row, kColFile);
    return name.empty() ? m_list.GetCellText(row, kColOriginalFile) : name;
}

void PlanCommands::UpdateActions() {
    const std::vector<int> rows = SelectedRows();
    const RecordScheduler& scheduler = m_recording.Scheduler();
    m_stopRecording->setEnabled(std::any_of(rows.begin(), rows.end(),
                                            [&](int row) { return scheduler.RowRecording(row); }));
    m_schedule->setEnabled(rows.size() == 1 && IsNetworkRow(rows.front()));
    m_streams->setEnabled(
        std::any_of(rows.begin(), rows.end(), [this](int row) { return IsNetworkRow(row); }));
}

void PlanCommands::StopSelected() {
    for (int row : SelectedRows()) {
        m_recording.Scheduler().StopRow(row);
    }
}

void PlanCommands::ScheduleSelected() {
    const std::vector<int> rows = SelectedRows();
    if (rows.size() != 1 || !IsNetworkRow(rows.front())) {
        return;
    }
    const int row = rows.front();
    const std::string address = m_list.GetCellText(row, kColOriginalFile);
    std::optional<ScheduleDialog::Values> existing;
    if (const RecordPlan* plan = m_plans.Find(address); plan != nullptr && plan->start) {
        existing = ScheduleDialog::Values{QDateTime::fromSecsSinceEpoch(*plan->start),
                                          static_cast<int>(plan->durationSeconds / 60),
                                          DialogRepeat(plan->repeat)};
    }
    auto* dialog = new ScheduleDialog(Q(RowLabel(row)), existing, m_window);
    QPointer<ScheduleDialog> shown(dialog);
    QPointer<PlanCommands> self(this);
    UiPrompt::Instance().Open(dialog, [self, shown, address](int code) {
        if (!self || !shown) {
            return;
        }
        if (code == QDialog::Accepted) {
            const ScheduleDialog::Values values = shown->Result();
            self->SetSchedule(address, values.start.toSecsSinceEpoch(),
                              static_cast<uint32_t>(values.durationMinutes) * 60,
                              StoredRepeat(values.repeat));
        } else if (code == ScheduleDialog::kRemove) {
            self->RemoveSchedule(address);
        }
    });
}

void PlanCommands::SetSchedule(const std::string& address, int64_t start, uint32_t durationSeconds,
                               PlanRepeat repeat) {
    const RecordPlan* found = m_plans.Find(address);
    RecordPlan plan = found != nullptr ? *found : RecordPlan{};
    plan.address = address;
    plan.start = start;
    plan.durationSeconds = durationSeconds;
    plan.repeat = repeat;
    Keep(std::move(plan));
    Save();
    m_runner->PlanChanged(address);
}

void PlanCommands::RemoveSchedule(const std::string& address) {
    const RecordPlan* found = m_plans.Find(address);
    if (found == nullptr) {
        return;
    }
    RecordPlan plan = *found;
    plan.start.reset();
    plan.durationSeconds = 0;
    plan.repeat = PlanRepeat::Once;
    Keep(std::move(plan));
    Save();
    m_runner->PlanChanged(address);
}

void PlanCommands::ChooseStreams() {
    std::vector<int> rows = SelectedRows();
    std::erase_if(rows, [this](int row) { return !IsNetworkRow(row); });
    if (rows.empty()) {
        return;
    }
    std::vector<std::string> addresses;
    for (int row : rows) {
        addresses.push_back(m_list.GetCellText(row, kColOriginalFile));
    }
    const RecordPlan* first = m_plans.Find(addresses.front());
    const QString subject = rows.size() == 1
                                ? Q(RowLabel(rows.front()))
                                : tr("%n selected row(s)", "", static_cast<int>(rows.size()));
    auto* dialog =
        new StreamsDialog(subject, first != nullptr ? Q(first->streams) : QString(), m_window);
    QPointer<StreamsDialog> shown(dialog);
    QPointer<PlanCommands> self(this);
    UiPrompt::Instance().Open(dialog, [self, shown, addresses](int code) {
        if (self && shown && code == QDialog::Accepted) {
            self->SetStreams(addresses, shown->Result().toStdString());
        }
    });
}

void PlanCommands::SetStreams(const std::vector<std::string>& addresses,
                              const std::string& streams) {
    for (const std::string& address : addresses) {
        const RecordPlan* found = m_plans.Find(address);
        RecordPlan plan = found != nullptr ? *found : RecordPlan{};
        plan.address = address;
        plan.streams = streams;
        Keep(std::move(plan));
    }
    Save();
}

void PlanCommands::Keep(RecordPlan plan) {
    if (!plan.start && KeepsAllStreams(plan.streams)) {
        m_plans.Remove(plan.address);
    } else {
        m_plans.Set(std::move(plan));
    }
}

void PlanCommands::ForgetRows(const std::vector<std::string>& addresses) {
    bool removed = false;
    for (const std::string& address : addresses) {
        removed = m_plans.Remove(address) || removed;
    }
    if (removed) {
        Save();
    }
}

void PlanCommands::Save() {
    if (const ErrorOr<void> saved = m_plans.Save(); !saved) {
        UiPrompt::Instance().Tell(
            m_window, QMessageBox::Warning,
            tr("The schedules could not be saved: %1").arg(Q(saved.error().message)));
    }
}

}  // namespace tapewell::gui
