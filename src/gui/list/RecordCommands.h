#pragma once

#include <QObject>

#include <memory>
#include <vector>

#include "app/AddressCheckRun.h"
#include "app/RecordScheduler.h"

class QAction;
class QMenu;
class QWidget;

namespace tapewell {
class AppSettings;
class ProfileStore;
class RecordList;
}  // namespace tapewell

namespace tapewell::gui {

class ActionTable;
class GuiJobPrompt;
class GuiJobSink;

// Recording from the record list in the desktop program: the actions
// "Record Start" and "Record Stop" and the "URL Check" submenu ("Start",
// "Stop") over the core's RecordScheduler and AddressCheckRun. Every job
// gets a GuiJobPrompt of its own, whose dialogs name the job's row; its
// notices reach the scheduler through a GuiJobSink. Lives on the UI thread,
// which is the list's thread.
class RecordCommands : public QObject {
    Q_OBJECT
public:
    // settings and profile (where the credentials a user chose to keep go)
    // must outlive this object; window parents the dialogs.
    RecordCommands(RecordList& list, const AppSettings& settings, ProfileStore& profile,
                   ActionTable& actions, QWidget* window);
    // StopAll, then the jobs' and the check's threads are joined.
    ~RecordCommands() override;

    // The translated texts of the Record and Size cells.
    static RecordStatusTexts StatusTexts();

    // Appends "Record Start", "Record Stop" and the "URL Check" submenu.
    void AddTo(QMenu* menu) const;
    QMenu* CheckMenu() const { return m_checkMenu; }

    // A start with /Rec or a hand-over in that mode: the row becomes the
    // selection and is recorded when nothing records yet.
    void RecordRowFromCommand(int row);
    // The exit: the check stops after its probe, every job stops (a question
    // it waits on gets its default answer and its dialog closes), and their
    // ends are written into the rows before the list is saved.
    void StopAll();

    // Whether another job may start now ("Concurrent Recordings").
    bool SlotFree() const;

    RecordScheduler& Scheduler() { return *m_scheduler; }
    AddressCheckRun& CheckRun() { return *m_checkRun; }

Q_SIGNALS:
    // A job or the check started or ended: the commands' states may follow.
    void StatesChanged();

private:
    void CreateActions(ActionTable& actions);
    void UpdateActions();

    RecordList& m_list;
    const AppSettings& m_settings;
    QWidget* m_window;
    GuiJobSink* m_sink;
    std::unique_ptr<UrlOpener> m_opener;
    std::unique_ptr<RecordScheduler> m_scheduler;
    std::unique_ptr<AddressCheckRun> m_checkRun;
    QAction* m_recordStart = nullptr;
    QAction* m_recordStop = nullptr;
    QAction* m_checkStart = nullptr;
    QAction* m_checkStop = nullptr;
    QMenu* m_checkMenu = nullptr;
};

}  // namespace tapewell::gui
