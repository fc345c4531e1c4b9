#include "gui/list/ListCommands.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <filesystem>

#include "app/AddressText.h"
#include "app/ListEdits.h"
#include "app/RecentUrls.h"
#include "app/RecordList.h"
#include "common/UrlParts.h"
#include "gui/app/ActionTable.h"
#include "gui/app/FileDialogs.h"
#include "gui/app/UiPrompt.h"
#include "gui/list/CredentialsDialog.h"
#include "gui/list/GuiListPrompt.h"
#include "gui/list/ListFileCommands.h"
#include "gui/list/RecordCommands.h"
#include "gui/list/RowEditDialogs.h"
#include "gui/list/UrlOpenDialog.h"
#include "gui/manager/AsfManagerDialog.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

constexpr const char* kPathSection = "Path";
constexpr const char* kVideoPath = "video";
constexpr int kRecentMaxIndex = command::kRecentLast - command::kRecentFirst;
// The URL Open dialog's endings.
constexpr int kUrlPlay = UrlOpenDialog::kPlay;
constexpr int kUrlRecord = UrlOpenDialog::kRecord;
constexpr int kUrlOk = UrlOpenDialog::kOk;

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The site whose saved login the engines and the list's login check look
// up for address: its host. Empty when the address has none.
std::string CredentialSite(const std::string& address) {
    const std::optional<UrlParts> parts = SplitUrl(address);
    return parts ? parts->host : std::string();
}

}  // namespace

ListCommands::ListCommands(RecordList& list, RecentUrls& recent, ProfileStore& profile,
                           const AppSettings& settings, ActionTable& actions,
                           RecordCommands& recording, GuiListPrompt& prompt, Hooks hooks,
                           QWidget* window)
    : QObject(window),
      m_list(list),
      m_recent(recent),
      m_profile(profile),
      m_settings(settings),
      m_actions(actions),
      m_recording(recording),
      m_prompt(prompt),
      m_hooks(std::move(hooks)),
      m_window(window),
      m_files(new ListFileCommands(list, profile, settings, prompt, window)) {
    m_files->setParent(this);
    CreateActions(actions);
    connect(&m_recording, &RecordCommands::StatesChanged, this, &ListCommands::UpdateActionStates);
    UpdateActionStates();
}

ListCommands::~ListCommands() = default;

QAction* ListCommands::Connect(ActionTable& actions, int id, const QString& text,
                               const std::function<void()>& run, const QKeySequence& shortcut) {
    QAction* action = actions.Add(id, text, shortcut);
    connect(action, &QAction::triggered, this, [run] { run(); });
    return action;
}

void ListCommands::CreateActions(ActionTable& actions) {
    Connect(
        actions, command::kNewList, tr("New"), [this] { m_list.NewList(); }, QKeySequence::New);
    Connect(
        actions, command::kOpen, tr("&Open..."), [this] { OpenFiles(true); }, QKeySequence::Open);
    Connect(
        actions, command::kOpenAs, tr("Open As(&A)..."), [this] { OpenFiles(false); },
        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    Connect(
        actions, command::kUrlOpen, tr("&URL Open..."), [this] { OpenUrls(); },
        QKeySequence(Qt::CTRL | Qt::Key_U));

    Connect(actions, command::kDelete, tr("Delete"), [this] { DeleteSelected(); });
    Connect(actions, command::kDeleteAll, tr("Delete All"), [this] { DeleteAll(); });
    Connect(actions, command::kModifyUrl, tr("Modify URL "), [this] { ModifyUrl(); });
    Connect(
        actions, command::kModifyFileName, tr("Modify File Name..."), [this] { ModifyFileName(); },
        QKeySequence(Qt::Key_F2));
    Connect(actions, command::kSetAuthentication, tr("Set Authentication..."),
            [this] { SetAuthentication(); });
    Connect(actions, command::kEditInfo, tr("Info"), [this] { EditInfo(); });
    Connect(
        actions, command::kMoveUp, tr("Move UP"), [this] { m_list.MoveSelectedUp(); },
        QKeySequence(Qt::CTRL | Qt::Key_Up));
    Connect(
        actions, command::kMoveDown, tr("Move Down"), [this] { m_list.MoveSelectedDown(); },
        QKeySequence(Qt::CTRL | Qt::Key_Down));
    Connect(
        actions, command::kCopyClipboard, tr("Copy ClipBoard(&C)"), [this] { CopyToClipboard(); },
        QKeySequence::Copy);

    Connect(actions, command::kIbhSaveUrls, tr("Only URL..."),
            [this] { m_files->SaveIbh(ListSaveMode::OnlyUrl); });
    Connect(actions, command::kIbhSaveFiles, tr("Only File..."),
            [this] { m_files->SaveIbh(ListSaveMode::OnlyFile); });
    Connect(actions, command::kIbhSaveAll, tr("All..."),
            [this] { m_files->SaveIbh(ListSaveMode::All); });
    m_ibhSaveMenu = new QMenu(tr("IBH Save"), m_window);
    m_ibhSaveMenu->setObjectName("ibhSaveMenu");
    for (int id : {command::kIbhSaveUrls, command::kIbhSaveFiles, command::kIbhSaveAll}) {
        m_ibhSaveMenu->addAction(actions.Get(id));
    }
    Connect(actions, command::kAsxSave, tr("ASX Save(&S)"), [this] { m_files->SaveAsx(); });
    Connect(actions, command::kAsxSaveAs, tr("ASX Save As(&A)..."),
            [this] { m_files->SaveAsxAs(); });
    Connect(
        actions, command::kMinimize, tr("Minimize"), [this] { m_window->showMinimized(); },
        QKeySequence(Qt::CTRL | Qt::Key_M));

    Connect(actions, command::kAsfManagerCut, tr("Cut...", "ASF Manager"),
            [this] { OpenAsfManager(AsfManagerDialog::kCutPage); });
    Connect(actions, command::kAsfManagerCapture, tr("Save Images...", "ASF Manager"),
            [this] { OpenAsfManager(AsfManagerDialog::kCapturePage); });
    Connect(actions, command::kAsfManagerInfo, tr("File Information...", "ASF Manager"),
            [this] { OpenAsfManager(AsfManagerDialog::kInfoPage); });

    // The frame opens the preferences; URL capture enables its action when
    // its controller is there.
    actions.Add(command::kPreferences, tr("Preferences(&P)..."));
    actions.Add(command::kUrlCapture, tr("Url Capture"), {}, true)->setEnabled(false);
}

QString ListCommands::OpenFilter() {
    return tr(
        "Media files (*.asx *.asf *.wax *.wma *.mpg *.mpeg *.mp3 *.avi *.wmv *.ibh *.urh);;"
        "All files (*)");
}

bool ListCommands::Idle() const {
    for (int row = 0; row < m_list.RowCount(); ++row) {
        if (m_list.Row(row).jobNumber != 0) {
            return false;
        }
    }
    return true;
}

std::string ListCommands::SelectedAddress() const {
    const int row = m_list.FirstSelectedRow();
    return row == RecordList::kNoSelection ? std::string()
                                           : m_list.GetCellText(row, kColOriginalFile);
}

void ListCommands::UpdateRecordButtons(int row) {
    QAction* record = m_actions.Get(command::kRecordStart);
    QAction* recordStop = m_actions.Get(command::kRecordStop);
    const bool idle = Idle();
    const bool localMedia = IsPlainLocalMedia(KindFlags(m_list.GetCellText(row, kColOriginalFile)));
    // With "Concurrent Recordings" above one, another row may start while
    // some record.
    record->setEnabled(!localMedia && m_recording.SlotFree());
    recordStop->setEnabled(!idle);
}

void ListCommands::UpdateActionStates() {
    const int selected = m_list.FirstSelectedRow();
    const bool any = selected != RecordList::kNoSelection;
    UpdateRecordButtons(selected);

    // An existing file has no address a playlist or another program could use.
    const bool addressRow = any && (KindFlags(SelectedAddress()) & kind::kExists) == 0;
    for (int id : {command::kAsxSave, command::kAsxSaveAs, command::kCopyClipboard}) {
        m_actions.Get(id)->setEnabled(addressRow);
    }
    const bool deletable =
        any && m_list.Row(selected).jobNumber == 0 && selected != m_list.FindPlayingRow(false);
    m_actions.Get(command::kDelete)->setEnabled(deletable);
    for (int id :
         {command::kMoveUp, command::kMoveDown, command::kModifyUrl, command::kModifyFileName}) {
        m_actions.Get(id)->setEnabled(any);
    }
    const bool rows = m_list.RowCount() > 0;
    m_actions.Get(command::kDeleteAll)->setEnabled(rows);
    for (int id : {command::kIbhSaveUrls, command::kIbhSaveFiles, command::kIbhSaveAll}) {
        m_actions.Get(id)->setEnabled(rows);
    }
    m_ibhSaveMenu->setEnabled(rows);
    Q_EMIT ActionStatesUpdated();
}

void ListCommands::RowDoubleClicked(int row) {
    if (row < 0 || row >= m_list.RowCount()) {
        return;
    }
    if (IsPlainLocalMedia(KindFlags(m_list.GetCellText(row, kColOriginalFile)))) {
        if (m_hooks.play) {
            m_hooks.play(row);
        }
        return;
    }
    // With several recordings running, the row clicked is the one meant;
    // with one, this is the same as Record Stop.
    if (m_list.Row(row).jobNumber != 0) {
        m_recording.Scheduler().StopRow(row);
        return;
    }
    if (!m_list.IsSelected(row)) {
        m_list.SelectRow(row);
    }
    m_recording.Scheduler().RecordStart();
}

void ListCommands::OpenFiles(bool clear) {
    PathDialog request;
    request.choice = PathChoice::kOpenFiles;
    request.objectName = "openFilesDialog";
    request.caption = clear ? tr("Open") : tr("Open As");
    request.filter = OpenFilter();
    request.defaultSuffix = "asx";
    request.startFile = Q(m_profile.GetString(kPathSection, kVideoPath, ""));
    ChoosePaths(m_window, request, this,
                [this, clear](const QStringList& paths) { OpenChosenFiles(clear, paths); });
}

void ListCommands::OpenChosenFiles(bool clear, const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    if (clear) {
        // Jobs are only asked to stop here: their rows stay until they end.
        m_recording.Scheduler().RecordStop();
        if (m_hooks.stopPlayback) {
            m_hooks.stopPlayback();
        }
        m_list.RemoveIdleRows();
    }
    int first = -1;
    for (const QString& path : paths) {
        const std::string local = path.toStdString();
        std::error_code error;
        if (!std::filesystem::exists(local, error)) {
            continue;
        }
        const int row = m_hooks.open ? m_hooks.open(local, "", "") : -1;
        if (first < 0 && row >= 0) {
            first = row;
        }
    }
    if (first >= 0) {
        SelectAndPlay(first);
    }
    (void)m_profile.WriteString(kPathSection, kVideoPath, paths.back().toStdString());
}

void ListCommands::SelectAndPlay(int row) {
    m_list.SelectRow(row);
    UpdateRecordButtons(row);
    if (m_hooks.play) {
        m_hooks.play(row);
    }
}

void ListCommands::OpenUrls() {
    auto* dialog = new UrlOpenDialog(m_profile, m_window);
    QPointer<UrlOpenDialog> open(dialog);
    QPointer<ListCommands> self(this);
    UiPrompt::Instance().Open(dialog, [self, open](int code) {
        if (!self || !open) {
            return;
        }
        if (code == kUrlPlay || code == kUrlRecord || code == kUrlOk) {
            self->OpenDialogAddresses(code, open->Result());
        }
    });
}

void ListCommands::OpenDialogAddresses(int code, const QStringList& addresses) {
    int first = -1;
    for (const QString& address : addresses) {
        if (address.isEmpty()) {
            continue;
        }
        // The blank size option: an address has no local size to look up.
        const int row = m_hooks.open ? m_hooks.open(address.toStdString(), "", " ") : -1;
        if (first < 0) {
            first = row;
        }
    }
    if (first < 0) {
        return;
    }
    m_list.SelectRow(first);
    UpdateRecordButtons(first);
    if (code == kUrlPlay) {
        if (m_hooks.play) {
            m_hooks.play(first);
        }
    } else if (code == kUrlRecord && Idle()) {
        m_recording.Scheduler().RecordStart();
    }
}

void ListCommands::OpenRecent(int index) {
    if (index < 0 || index > kRecentMaxIndex ||
        static_cast<size_t>(index) >= m_recent.Entries().size()) {
        return;
    }
    const std::string entry = m_recent.Entries()[static_cast<size_t>(index)];
    if (entry.empty() || !m_hooks.open) {
        return;
    }
    const int row = m_hooks.open(entry, "", "");
    if (row >= 0) {
        SelectAndPlay(row);
    }
}

void ListCommands::FillRecentEntries(QMenu* menu) {
    for (QAction* entry : m_recentEntries) {
        menu->removeAction(entry);
    }
    m_recentEntries.clear();
    const std::vector<std::string>& entries = m_recent.Entries();
    const int count = std::min(static_cast<int>(entries.size()), kRecentMaxIndex + 1);
    if (count == 0) {
        return;
    }
    m_recentEntries.append(menu->addSeparator());
    for (int i = 0; i < count; ++i) {
        // Long addresses are shortened in the middle, where they differ least.
        const QString shown =
            menu->fontMetrics().elidedText(Q(entries[static_cast<size_t>(i)]), Qt::ElideMiddle,
                                           60 * menu->fontMetrics().averageCharWidth());
        const QString text = (i < 9 ? QStringLiteral("&%1 %2") : QStringLiteral("%1 %2"))
                                 .arg(i + 1)
                                 .arg(QString(shown).replace('&', "&&"));
        QAction* action = m_actions.Get(command::kRecentFirst + i);
        if (action == nullptr) {
            action = m_actions.Add(command::kRecentFirst + i, text);
            connect(action, &QAction::triggered, this, [this, i] { OpenRecent(i); });
        }
        action->setText(text);
        action->setToolTip(Q(entries[static_cast<size_t>(i)]));
        menu->addAction(action);
        m_recentEntries.append(action);
    }
}

void ListCommands::ModifyUrl() {
    const int row = m_list.FirstSelectedRow();
    if (row == RecordList::kNoSelection) {
        return;
    }
    const std::string address = m_list.GetCellText(row, kColOriginalFile);
    auto* dialog = new UrlModifyDialog(Q(address), m_window);
    QPointer<UrlModifyDialog> edit(dialog);
    QPointer<ListCommands> self(this);
    UiPrompt::Instance().Open(dialog, [self, edit, address](int code) {
        if (!self || !edit) {
            return;
        }
        RecordList& list = self->m_list;
        if (code == UrlModifyDialog::kModify) {
            // Jobs and capture may have moved rows while the dialog was open.
            const ErrorOr<void> set =
                SetAddress(list, list.FindAddress(address), edit->Address().toStdString());
            if (!set) {
                UiPrompt::Instance().Tell(self->m_window, QMessageBox::Warning,
                                          Q(set.error().message));
            }
        } else if (code == UrlModifyDialog::kReplace) {
            const ReplaceCount count =
                ReplaceInAddresses(list, edit->FindText().toStdString(),
                                   edit->ReplaceText().toStdString(), edit->AllRows());
            if (count.refused > 0) {
                UiPrompt::Instance().Tell(
                    self->m_window, QMessageBox::Warning,
                    tr("%n address(es) were left unchanged: another row already has the address "
                       "the replacement would give.",
                       "", count.refused));
            }
        }
    });
}

void ListCommands::ModifyFileName() {
    const int row = m_list.FirstSelectedRow();
    if (row == RecordList::kNoSelection) {
        return;
    }
    const std::string address = m_list.GetCellText(row, kColOriginalFile);
    auto* dialog = new FileNameDialog(Q(m_list.GetCellText(row, kColFile)), m_window);
    QPointer<FileNameDialog> edit(dialog);
    QPointer<ListCommands> self(this);
    UiPrompt::Instance().Open(dialog, [self, edit, address](int code) {
        if (!self || !edit) {
            return;
        }
        RecordList& list = self->m_list;
        const std::string text = edit->Name().toStdString();
        if (code == FileNameDialog::kModify) {
            SetName(list, list.FindAddress(address), text);
        } else if (code == FileNameDialog::kReplace) {
            ReplaceInNames(list, edit->FindText().toStdString(), edit->ReplaceText().toStdString(),
                           edit->AllRows());
        } else if (code == FileNameDialog::kAppend) {
            PrependToNames(list, text);
        }
    });
}

void ListCommands::SetAuthentication() {
    const std::string site = CredentialSite(SelectedAddress());
    auto* dialog =
        new CredentialsDialog(Q(site), Q(m_list.UserName()), Q(m_list.Password()), m_window);
    dialog->setWindowTitle(tr("Set user"));
    // Without a host there is no site to keep the pair for.
    dialog->SaveBox()->setEnabled(!site.empty());
    QPointer<CredentialsDialog> login(dialog);
    QPointer<ListCommands> self(this);
    UiPrompt::Instance().Open(dialog, [self, login, site](int result) {
        if (!self || !login || result != QDialog::Accepted) {
            return;
        }
        const std::string user = login->User().toStdString();
        const std::string password = login->Password().toStdString();
        self->m_list.SetCredentials(user, password);
        if (login->Save() && !site.empty()) {
            const std::string section = "NetPassword\\" + site;
            const ErrorOr<void> saved = self->m_profile.Update([&](ProfileEdit& edit) {
                edit.WriteString(section, "User", user);
                edit.WriteString(section, "Password", password);
            });
            if (!saved) {
                UiPrompt::Instance().Tell(self->m_window, QMessageBox::Warning,
                                          tr("The login for %1 could not be kept: %2")
                                              .arg(Q(site), Q(saved.error().message)));
            }
        }
    });
}

void ListCommands::EditInfo() {
    const int row = m_list.FirstSelectedRow();
    const bool any = row != RecordList::kNoSelection;
    const std::string address = any ? m_list.GetCellText(row, kColOriginalFile) : std::string();
    const QString title = Q(m_list.Title());
    auto* dialog = any ? new FileInfoDialog(title, Q(m_list.GetCellText(row, kColFile)),
                                            Q(m_list.GetCellText(row, kColInfo)), m_window)
                       : new FileInfoDialog(title, m_window);
    QPointer<FileInfoDialog> info(dialog);
    QPointer<ListCommands> self(this);
    UiPrompt::Instance().Open(dialog, [self, info, address, any](int result) {
        if (!self || !info || result != QDialog::Accepted) {
            return;
        }
        RecordList& list = self->m_list;
        list.SetTitle(info->Title().toStdString());
        if (any) {
            list.SetCellText(list.FindAddress(address), kColInfo, info->Info().toStdString());
        }
    });
}

void ListCommands::OpenAsfManager(int page) {
    // The manager works on local files; for anything else it opens empty
    // and the user picks a file there.
    const int row = m_list.FirstSelectedRow();
    const bool local = row != RecordList::kNoSelection && m_list.Row(row).mark == kMarkLocal;
    const QString path = local ? Q(m_list.GetCellText(row, kColOriginalFile)) : QString();
    auto* dialog = new AsfManagerDialog(path, static_cast<AsfManagerDialog::Page>(page), m_settings,
                                        m_profile, m_window);
    UiPrompt::Instance().Open(dialog, {});
}

void ListCommands::CopyToClipboard() {
    const std::string address = SelectedAddress();
    if (!address.empty()) {
        QGuiApplication::clipboard()->setText(Q(address));
    }
}

void ListCommands::DeleteSelected() {
    if (m_list.FirstSelectedRow() == RecordList::kNoSelection) {
        return;
    }
    QPointer<ListCommands> self(this);
    m_prompt.AfterDeleteQuestion([self] {
        if (self) {
            self->DeleteAndReport([self] { self->m_list.DeleteSelected(); });
        }
    });
}

void ListCommands::DeleteAll() {
    if (m_list.RowCount() == 0) {
        return;
    }
    QPointer<ListCommands> self(this);
    m_prompt.AfterDeleteQuestion([self] {
        if (self) {
            self->DeleteAndReport([self] { self->m_list.DeleteAll(); });
        }
    });
}

void ListCommands::DeleteAndReport(const std::function<void()>& deletion) {
    std::vector<std::string> before;
    for (int row = 0; row < m_list.RowCount(); ++row) {
        before.push_back(m_list.GetCellText(row, kColOriginalFile));
    }
    deletion();
    // Busy and playing rows stay; only the rows really gone are reported.
    std::erase_if(before, [this](const std::string& address) {
        return m_list.FindAddress(address) != RecordList::kNoRow;
    });
    if (!before.empty() && m_hooks.rowsDeleted) {
        m_hooks.rowsDeleted(before);
    }
}

}  // namespace tapewell::gui
