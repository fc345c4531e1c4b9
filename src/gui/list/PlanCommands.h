#pragma once

#include <QObject>

#include <memory>
#include <string>
#include <vector>

#include "app/PlanRunner.h"
#include "app/RecordPlans.h"

class QAction;
class QTimer;
class QWidget;

namespace tapewell {
class RecordList;
}

namespace tapewell::gui {

class ActionTable;
class RecordCommands;

// The selected rows' own recordings and plans in the desktop program:
// "Stop Recording" (only their jobs), "Schedule..." and "Streams...", over
// the core's plan store ($XDG_DATA_HOME/Tapewell/schedules.ini) and the
// runner that starts planned rows, ticked every second. The scheduler asks
// the store which streams a row records. The dialogs only collect values;
// the plans and their timing are the core's. Lives on the UI thread.
class PlanCommands : public QObject {
    Q_OBJECT
public:
    // Loads the store (a store that cannot be read is reported, set aside
    // by the core and never written over) and starts the clock. Everything
    // given must outlive this object; window parents the dialogs.
    PlanCommands(RecordList& list, RecordCommands& recording, ActionTable& actions,
                 QWidget* window);
    ~PlanCommands() override;

    // The translated texts the runner writes into the Record cell.
    static PlanStatusTexts StatusTexts();

    void StopSelected();
    // The Schedule dialog for the selected row.
    void ScheduleSelected();
    // The Streams dialog for the selected network rows.
    void ChooseStreams();
    // The plans of rows the user deleted go with them.
    void ForgetRows(const std::vector<std::string>& addresses);
    // The three commands' enabled states, from the selection and the jobs.
    void UpdateActions();

    RecordPlans& Plans() { return m_plans; }
    PlanRunner& Runner() { return *m_runner; }

private:
    void CreateActions(ActionTable& actions);
    void LoadPlans();
    // Saves the store after a change by the user, telling them when it fails.
    void Save();
    void SetSchedule(const std::string& address, int64_t start, uint32_t durationSeconds,
                     PlanRepeat repeat);
    void RemoveSchedule(const std::string& address);
    void SetStreams(const std::vector<std::string>& addresses, const std::string& streams);
    // A plan that neither starts anything nor keeps a stream choice leaves
    // the store.
    void Keep(RecordPlan plan);
    std::vector<int> SelectedRows() const;
    bool IsNetworkRow(int row) const;
    // The row's File text, or its address when that is empty.
    std::string RowLabel(int row) const;

    RecordList& m_list;
    RecordCommands& m_recording;
    QWidget* m_window;
    RecordPlans m_plans;
    std::unique_ptr<PlanTarget> m_target;
    std::unique_ptr<PlanRunner> m_runner;
    QTimer* m_clock;
    QAction* m_stopRecording = nullptr;
    QAction* m_schedule = nullptr;
    QAction* m_streams = nullptr;
};

}  // namespace tapewell::gui
