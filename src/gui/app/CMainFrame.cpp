#include "gui/app/CMainFrame.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QScreen>
#include <QSplitter>
#include <QWindow>

#include <cstdio>

#include "app/ListFiles.h"
#include "app/LoginCheck.h"
#include "app/OpenItem.h"
#include "app/StartCommand.h"
#include "gui/app/ActionTable.h"
#include "gui/app/AutoListSaver.h"
#include "gui/app/FramePosition.h"
#include "gui/app/ScreenSaverInhibitor.h"
#include "gui/app/UiPrompt.h"
#include "gui/capture/CaptureController.h"
#include "gui/list/CRecordListView.h"
#include "gui/list/DropItems.h"
#include "gui/list/GuiJobPrompt.h"
#include "gui/list/GuiListPrompt.h"
#include "gui/list/ListCommands.h"
#include "gui/list/ListToolBar.h"
#include "gui/list/PlanCommands.h"
#include "gui/list/PlaybackCommands.h"
#include "gui/list/RecordCommands.h"
#include "gui/list/RecordListModel.h"
#include "gui/list/RecordListPane.h"
#include "gui/player/PlayerView.h"
#include "gui/settings/PreferencesDialog.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

constexpr const char* kSettingsSection = "settings";
constexpr const char* kPositionSection = "Settings";  // the frame's position has its own capital S
constexpr const char* kPathSection = "Path";
constexpr int kInitialPlayerHeight = 170;

// Wayland gives a program no say over where its window goes.
bool PositionIsOurs() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace

CMainFrame::CMainFrame(ProfileStore& profile, QWidget* parent)
    : QMainWindow(parent),
      m_profile(profile),
      m_listPrompt(new GuiListPrompt(this)),
      m_model(nullptr),
      m_actions(new ActionTable(this)),
      m_inhibitor(new ScreenSaverInhibitor(this)),
      m_autoList(nullptr) {
    setObjectName("Tapewell");
    setWindowTitle(tr("Tapewell"));
    m_settings.Load(profile);
    m_recent.Load(profile);
    m_list.SetPrompt(m_listPrompt);
    m_model = new RecordListModel(m_list, this);
    m_model->SetToolTips(m_settings.m_toolTips);
    m_autoList = new AutoListSaver(m_list, *m_listPrompt, AutomaticListPath(), this);

    CreateActions();
    CreateMenus();
    CreateLayout();
    m_playRowHook = [this](int row) {
        if (!m_list.IsSelected(row)) {
            m_list.SelectRow(row);
        }
        m_playback->PlaySelected();
    };
    m_recordRowHook = [this](int row) { m_recording->RecordRowFromCommand(row); };
    m_stopJobsHook = [this] { m_recording->StopAll(); };

    m_autoList->SetEnabled(m_settings.m_savePlayList);
    if (m_settings.m_savePlayList) {
        std::string error;
        std::string warning;
        QString text;
        if (!m_autoList->Load(&error, &warning)) {
            text = tr("The saved record list could not be read (%1). It was kept as "
                      "%2 and an empty list is used.")
                       .arg(QString::fromStdString(error),
                            QString::fromStdString(m_autoList->SetAsideName()));
        } else if (!warning.empty()) {
            text = tr("The saved record list is damaged (%1). The rows it holds whole are shown; "
                      "a copy of the file was kept as %2.")
                       .arg(QString::fromStdString(warning),
                            QString::fromStdString(m_autoList->SetAsideName()));
        }
        if (!text.isEmpty()) {
            QMetaObject::invokeMethod(
                this, [this, text] { UiPrompt::Instance().Tell(this, QMessageBox::Warning, text); },
                Qt::QueuedConnection);
        }
    }
    connect(m_model, &RecordListModel::ListChanged, m_autoList, &AutoListSaver::ScheduleSave);
    connect(m_model, &RecordListModel::TitleChanged, this,
            [this] { m_pane->SetTitle(QString::fromStdString(m_list.Title())); });
    m_pane->SetTitle(QString::fromStdString(m_list.Title()));
    connect(m_autoList, &AutoListSaver::SaveFailed, this, [](const QString& reason) {
        std::fprintf(stderr, "tapewell: the record list could not be saved: %s\n",
                     reason.toLocal8Bit().constData());
    });

    setAcceptDrops(true);
    if (m_settings.m_onTop) {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    }
    if (m_settings.m_screenSave) {
        m_inhibitor->Inhibit();
    }
}

CMainFrame::~CMainFrame() {
    // Capture adds rows: its receive thread is joined while the list lives.
    delete m_capture;
    m_capture = nullptr;
    // The plans start and stop rows through the jobs' scheduler.
    delete m_plans;
    m_plans = nullptr;
    // The jobs report into the list and its model: they end first.
    delete m_recording;
    // Playback follows the player and the sliders: it goes before them.
    delete m_playback;
    m_playback = nullptr;
    // The widgets and the model read m_list: they go before it does.
    m_list.SetObserver(nullptr);
    m_list.SetPrompt(nullptr);
    delete m_splitter;
    delete m_autoList;
    delete m_model;
}

void CMainFrame::CreateActions() {
    QAction* exit = m_actions->Add(command::kExit, tr("Exit"), QKeySequence::Quit);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QAction* onTop = m_actions->Add(command::kOnTop, tr("On Top"), {}, true);
    onTop->setChecked(m_settings.m_onTop);
    connect(onTop, &QAction::toggled, this, &CMainFrame::SetOnTop);

    QAction* screenSave =
        m_actions->Add(command::kProtectScreenSave, tr("Protect Screen Save"), {}, true);
    screenSave->setChecked(m_settings.m_screenSave);
    connect(screenSave, &QAction::toggled, this, &CMainFrame::SetProtectScreenSave);

    m_recording = new RecordCommands(m_list, m_settings, m_profile, *m_actions, this);
    m_player = new PlayerView(m_settings, *m_actions);
    m_player->SetProfile(&m_profile);
    m_playback = new PlaybackCommands(m_list, m_settings, m_profile, *m_actions, *m_player, this);

    ListCommands::Hooks hooks;
    hooks.open = [this](const std::string& address, const std::string& name,
                        const std::string& option) { return OpenOne(address, name, option); };
    hooks.play = [this](int row) {
        if (m_playRowHook) {
            m_playRowHook(row);
        }
    };
    hooks.stopPlayback = [this] { m_playback->StopPlayback(); };
    hooks.rowsDeleted = [this](const std::vector<std::string>& addresses) {
        m_plans->ForgetRows(addresses);
    };
    m_plans = new PlanCommands(m_list, *m_recording, *m_actions, this);
    m_commands = new ListCommands(m_list, m_recent, m_profile, m_settings, *m_actions, *m_recording,
                                  *m_listPrompt, std::move(hooks), this);
    connect(m_commands, &ListCommands::ActionStatesUpdated, m_plans, &PlanCommands::UpdateActions);
    // The list finds its playing row by the player's address, so rows that
    // move, come or go above it never make another row "the playing one".
    connect(m_player, &PlayerView::playStateChanged, this, [this](int state) {
        m_list.SetPlayerState(m_player->Address().toStdString(), state == PlayerView::kPlaying);
        m_commands->UpdateActionStates();
    });
    connect(m_actions->Get(command::kPreferences), &QAction::triggered, this,
            &CMainFrame::ShowPreferences);
    m_capture =
        new CaptureController(m_list, m_settings, m_profile, m_actions->Get(command::kUrlCapture),
                              m_recording->Scheduler(), this);
    m_stopCaptureHook = [this] { m_capture->Stop(); };
}

void CMainFrame::ShowPreferences() {
    auto* dialog = new PreferencesDialog(m_settings, m_profile, this);
    // Deleting the recent lists acts at once, OK or not: the in-memory copy
    // must forget them too, or the next save would write them back.
    connect(dialog, &PreferencesDialog::RecentFilesDeleted, this,
            [this] { m_recent.Load(m_profile); });
    QPointer<PreferencesDialog> shown(dialog);
    UiPrompt::Instance().Open(dialog, [this, shown](int result) {
        if (shown && result == QDialog::Accepted) {
            ApplyPreferences(shown->Result());
        }
    });
}

void CMainFrame::ApplyPreferences(const AppSettings& edited) {
    // The current login belongs to the run, not to the sheet: a recording
    // may have asked for one while the sheet was open.
    const std::string user = m_settings.m_userName;
    const std::string password = m_settings.m_password;
    m_settings = edited;
    m_settings.m_userName = user;
    m_settings.m_password = password;
    if (ErrorOr<void> saved = m_settings.Save(m_profile); !saved) {
        UiPrompt::Instance().Tell(this, QMessageBox::Warning,
                                  tr("The settings could not be saved: %1")
                                      .arg(QString::fromStdString(saved.error().message)));
    }
    m_recent.Load(m_profile);
    m_player->ApplySettings();
    m_model->SetToolTips(m_settings.m_toolTips);
    m_toolBar->SetToolTips(m_settings.m_toolTips);
    m_autoList->SetEnabled(m_settings.m_savePlayList);
}

QMenu* CMainFrame::AddMenu(const QString& title, const char* name, std::initializer_list<int> ids) {
    QMenu* menu = menuBar()->addMenu(title);
    menu->setObjectName(name);
    AddActions(menu, ids);
    return menu;
}

void CMainFrame::AddActions(QMenu* menu, std::initializer_list<int> ids) {
    for (int id : ids) {
        if (id == 0) {
            menu->addSeparator();
        } else {
            menu->addAction(m_actions->Get(id));
        }
    }
    // Every menu shows the states of the moment it opens.
    connect(menu, &QMenu::aboutToShow, m_commands, &ListCommands::UpdateActionStates,
            Qt::UniqueConnection);
}

void CMainFrame::CreateMenus() {
    QMenu* file =
        AddMenu(tr("&File"), "fileMenu",
                {command::kNewList, command::kOpen, command::kOpenAs, command::kUrlOpen, 0});
    file->addMenu(m_commands->IbhSaveMenu());
    AddActions(file, {command::kAsxSave, command::kAsxSaveAs, 0, command::kPreferences});
    m_exitSeparator = file->addSeparator();
    file->addAction(m_actions->Get(command::kExit));
    // The recent entries go between the preferences and the way out.
    connect(file, &QMenu::aboutToShow, this, [this, file] {
        file->removeAction(m_actions->Get(command::kExit));
        file->removeAction(m_exitSeparator);
        m_commands->FillRecentEntries(file);
        file->addAction(m_exitSeparator);
        file->addAction(m_actions->Get(command::kExit));
    });

    AddMenu(tr("&Edit"), "editMenu",
            {command::kDelete, command::kDeleteAll, 0, command::kModifyUrl,
             command::kModifyFileName, command::kSetAuthentication, command::kEditInfo, 0,
             command::kStopRecording, command::kSchedule, command::kStreams, 0, command::kMoveUp,
             command::kMoveDown, 0, command::kCopyClipboard});

    QMenu* control =
        AddMenu(tr("&Control"), "controlMenu",
                {command::kPlay, command::kPause, command::kStop, command::kRepeat, 0});
    m_recording->AddTo(control);
    AddActions(control, {command::kUrlCapture, 0});
    QMenu* volume = control->addMenu(tr("Volume"));
    AddActions(volume, {command::kVolumeUp, command::kVolumeDown, command::kMute});

    AddMenu(
        tr("&View"), "viewMenu",
        {command::kBigScreen, command::kOnTop, command::kProtectScreenSave, 0, command::kMinimize});
    QMenu* tools = AddMenu(tr("&Tools"), "toolsMenu", {});
    QMenu* manager = tools->addMenu(tr("ASF Manager"));
    AddActions(manager,
               {command::kAsfManagerCut, command::kAsfManagerCapture, command::kAsfManagerInfo});
    menuBar()->addMenu(m_player->CreateMenu(this));
}

void CMainFrame::CreateLayout() {
    m_splitter = new QSplitter(Qt::Vertical, this);
    m_splitter->setObjectName("frameSplitter");
    m_player->setParent(m_splitter);

    auto* view = new CRecordListView(m_model, m_listPrompt);
    connect(view, &CRecordListView::ItemsDropped, this, &CMainFrame::OpenDropped);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, &CMainFrame::ShowListMenu);
    connect(view, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { m_commands->RowDoubleClicked(index.row()); });
    connect(m_model, &RecordListModel::ListSelectionChanged, m_commands,
            &ListCommands::UpdateActionStates);
    connect(m_model, &RecordListModel::ListChanged, m_commands, &ListCommands::UpdateActionStates);
    m_pane = new RecordListPane(view, m_splitter);
    m_toolBar = new ListToolBar(*m_actions);
    m_toolBar->SetToolTips(m_settings.m_toolTips);
    m_playback->AttachSliders(*m_toolBar);
    m_playback->AttachPane(*m_pane);
    m_pane->SetCommandBar(m_toolBar);
    m_splitter->addWidget(m_player);
    m_splitter->addWidget(m_pane);
    // The list keeps its height when the window grows; the player takes the rest.
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);
    m_splitter->setCollapsible(1, false);
    m_splitter->setSizes({kInitialPlayerHeight, kDefaultHeight - kInitialPlayerHeight});
    setCentralWidget(m_splitter);
}

void CMainFrame::ShowListMenu(const QPoint& position) {
    auto* menu = new QMenu(this);
    menu->setObjectName("listContextMenu");
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddActions(menu, {command::kPlay, command::kPause, command::kStop, 0, command::kRecordStart,
                      command::kRecordStop, command::kStopRecording, command::kSchedule,
                      command::kStreams, 0});
    menu->addMenu(m_recording->CheckMenu());
    AddActions(menu, {0, command::kDelete, command::kModifyUrl, command::kModifyFileName,
                      command::kSetAuthentication, command::kEditInfo, command::kMoveUp,
                      command::kMoveDown, 0, command::kCopyClipboard, command::kAsxSave,
                      command::kAsxSaveAs});
    menu->addMenu(m_commands->IbhSaveMenu());
    m_commands->UpdateActionStates();
    menu->popup(ListView()->viewport()->mapToGlobal(position));
}

QWidget* CMainFrame::PlayerArea() const {
    return m_player;
}

CRecordListView* CMainFrame::ListView() const {
    return m_pane->View();
}

void CMainFrame::ShowAtSavedPosition() {
    resize(kDefaultWidth, kDefaultHeight);
    if (PositionIsOurs()) {
        const QPoint saved(m_profile.GetInt(kPositionSection, "xPos", 0),
                           m_profile.GetInt(kPositionSection, "yPos", 0));
        const QScreen* screen = QGuiApplication::primaryScreen();
        move(ClampFramePosition(saved, screen != nullptr ? screen->size() : QSize()));
    }
    show();
}

bool CMainFrame::AnyRowBusy() const {
    for (int row = 0; row < m_list.RowCount(); ++row) {
        if (m_list.Row(row).jobNumber != 0) {
            return true;
        }
    }
    return false;
}

int CMainFrame::OpenOne(const std::string& address, const std::string& name,
                        const std::string& option) {
    // A list file that brings credentials has them checked with its site
    // now, asking the user when the site refuses them.
    GuiJobPrompt prompt(this);
    LoginCheck check(&prompt, &m_profile);
    std::string warning;
    const ErrorOr<int> row = OpenItem(m_list, m_recent, address, name, option, &check, &warning);
    if (!row) {
        UiPrompt::Instance().Tell(
            this, QMessageBox::Warning,
            tr("The list file %1 could not be opened: %2")
                .arg(QString::fromStdString(address), QString::fromStdString(row.error().message)));
        return -1;
    }
    if (!warning.empty()) {
        UiPrompt::Instance().Tell(
            this, QMessageBox::Warning,
            tr("The list file %1 is damaged: %2. The rows it holds whole were added.")
                .arg(QString::fromStdString(address), QString::fromStdString(warning)));
    }
    return *row;
}

void CMainFrame::OpenFromCommand(int mode, const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    const ItemText item = SplitItemText(text.toStdString());
    if (item.address.find(".ibh") != std::string::npos) {
        (void)m_profile.WriteString(kPathSection, "ibh", item.address);
    }
    const int row = OpenOne(item.address, item.name, item.option);
    BringToFront();
    if (row < 0) {
        return;
    }
    m_list.SelectRow(row);
    if (mode == kStartOpen || mode == kStartPlay) {
        if (m_playRowHook) {
            m_playRowHook(row);
        }
    } else if (mode == kStartRecord && !AnyRowBusy() && m_recordRowHook) {
        m_recordRowHook(row);
    }
}

void CMainFrame::OpenDropped(const QStringList& items) {
    for (const QString& item : items) {
        OpenOne(item.toStdString(), "", "");
    }
    BringToFront();
}

void CMainFrame::BringToFront() {
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData() != nullptr && !DropItems(*event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    if (event->mimeData() == nullptr) {
        return;
    }
    const QStringList items = DropItems(*event->mimeData());
    if (!items.isEmpty()) {
        event->acceptProposedAction();
        OpenDropped(items);
    }
}

void CMainFrame::SetOnTop(bool on) {
    m_settings.m_onTop = on;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) {
        show();  // changing a window flag hides the window
    }
}

void CMainFrame::SetProtectScreenSave(bool on) {
    m_settings.m_screenSave = on;
    if (on) {
        m_inhibitor->Inhibit();
    } else {
        m_inhibitor->UnInhibit();
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_exitDone) {
        event->accept();
        return;
    }
    event->ignore();
    BeginExit(true);
}

void CMainFrame::ExitWithoutQuestions() {
    if (m_exitDone) {
        return;
    }
    // Also when a question of a window close is still open: a signal does
    // not wait for it.
    BeginExit(false);
}

void CMainFrame::BeginExit(bool askQuestions) {
    if (!m_exiting) {
        m_exiting = true;
        if (m_stopCaptureHook) {
            m_stopCaptureHook();
        }
        m_playback->StopPlayback();
        // A stream that played through the engines leaves no cache behind.
        m_player->Shutdown();
        if (m_stopJobsHook) {
            m_stopJobsHook();
        }
    } else if (askQuestions) {
        return;  // a second close while the first one's question is open
    }
    m_autoList->SaveAtExit(askQuestions, [this] { FinishExit(); });
}

void CMainFrame::FinishExit() {
    if (m_exitDone) {
        return;
    }
    m_exitDone = true;
    // On the way out there is nobody left to tell about a failed write.
    (void)m_profile.WriteInt(kSettingsSection, "Volume", m_playback->Volume());
    (void)m_recent.Save(m_profile);
    (void)m_settings.Save(m_profile);
    m_inhibitor->UnInhibit();
    if (PositionIsOurs()) {
        const QPoint position = pos();
        (void)m_profile.Update([&position](ProfileEdit& edit) {
            edit.WriteInt(kPositionSection, "xPos", position.x());
            edit.WriteInt(kPositionSection, "yPos", position.y());
        });
    }
    Q_EMIT ExitFinished();
    close();
}

}  // namespace tapewell::gui
