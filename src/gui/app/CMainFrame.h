#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>

#include "app/RecentUrls.h"
#include "app/RecordList.h"
#include "settings/AppSettings.h"

class QAction;
class QMenu;
class QSplitter;

namespace tapewell {
class ProfileStore;
}

namespace tapewell::gui {

class ActionTable;
class AutoListSaver;
class CaptureController;
class CRecordListView;
class GuiListPrompt;
class ListCommands;
class ListToolBar;
class PlanCommands;
class PlaybackCommands;
class PlayerView;
class RecordListModel;
class RecordCommands;
class RecordListPane;
class ScreenSaverInhibitor;

// The main window: the player area above, the record list below, the
// program's settings, and the way out. It owns the record list (the core's
// RecordList) and hands every open, drop and hand-over to the core's
// OpenItem.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 410;
    static constexpr int kDefaultHeight = 560;

    // Loads the settings, the recent addresses and (with "Save Play List")
    // the automatic list.
    explicit CMainFrame(ProfileStore& profile, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Places the window at its saved position and shows it.
    void ShowAtSavedPosition();

    // The item of a command line or a hand-over: mode 0/1 plays its row,
    // mode 2 records it when nothing records.
    void OpenFromCommand(int mode, const QString& text);
    // Dropped paths and addresses, in drop order.
    void OpenDropped(const QStringList& items);
    // Brings the window to the front (after a hand-over or a drop).
    void BringToFront();

    // Opens "Setup"; its OK replaces the live settings, saves them and
    // applies what shows at once (recent entries, captions, tooltips).
    void ShowPreferences();

    // Ends the program as a closed window does, asking nothing (SIGTERM).
    void ExitWithoutQuestions();

    RecordList& List() { return m_list; }
    const RecentUrls& Recent() const { return m_recent; }
    const AppSettings& Settings() const { return m_settings; }
    ActionTable& Actions() { return *m_actions; }
    CRecordListView* ListView() const;
    RecordListPane* ListPane() const { return m_pane; }
    QWidget* PlayerArea() const;
    PlayerView* Player() const { return m_player; }
    ScreenSaverInhibitor& Inhibitor() { return *m_inhibitor; }
    RecordCommands& Recording() { return *m_recording; }
    ListCommands& Commands() { return *m_commands; }
    PlaybackCommands& Playback() { return *m_playback; }
    PlanCommands& Plans() { return *m_plans; }

    // What parts of the program plug in: playing a row, recording a row,
    // and stopping capture and jobs at exit. Unset hooks do nothing; the
    // frame fills the recording ones with its RecordCommands.
    std::function<void(int row)> m_playRowHook;
    std::function<void(int row)> m_recordRowHook;
    std::function<void()> m_stopCaptureHook;
    std::function<void()> m_stopJobsHook;

Q_SIGNALS:
    // The exit's saving is done; the program may end now.
    void ExitFinished();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    // A menu of the menu bar with the actions of ids (0: a separator).
    QMenu* AddMenu(const QString& title, const char* name, std::initializer_list<int> ids);
    void AddActions(QMenu* menu, std::initializer_list<int> ids);
    void CreateLayout();
    void ShowListMenu(const QPoint& position);
    int OpenOne(const std::string& address, const std::string& name, const std::string& option);
    void ApplyPreferences(const AppSettings& edited);
    void SetOnTop(bool on);
    void SetProtectScreenSave(bool on);
    void BeginExit(bool askQuestions);
    void FinishExit();
    bool AnyRowBusy() const;

    ProfileStore& m_profile;
    AppSettings m_settings;
    RecordList m_list;
    RecentUrls m_recent;
    GuiListPrompt* m_listPrompt;
    RecordListModel* m_model;
    RecordListPane* m_pane = nullptr;
    QSplitter* m_splitter = nullptr;
    PlayerView* m_player = nullptr;
    ActionTable* m_actions;
    RecordCommands* m_recording = nullptr;
    ListCommands* m_commands = nullptr;
    PlaybackCommands* m_playback = nullptr;
    PlanCommands* m_plans = nullptr;
    ListToolBar* m_toolBar = nullptr;
    CaptureController* m_capture = nullptr;
    QAction* m_exitSeparator = nullptr;
    ScreenSaverInhibitor* m_inhibitor;
    AutoListSaver* m_autoList;
    bool m_exiting = false;
    bool m_exitDone = false;
};

}  // namespace tapewell::gui
