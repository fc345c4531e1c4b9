#include "gui/list/RecordCommands.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <algorithm>

#include "app/RecordList.h"
#include "gui/app/ActionTable.h"
#include "gui/list/GuiJobPrompt.h"
#include "gui/list/GuiJobSink.h"
#include "settings/AppSettings.h"

namespace tapewell::gui {
namespace {

// "<G>" and "<E>" rows open their pages in the user's browser.
class DesktopUrlOpener final : public UrlOpener {
public:
    void OpenUrl(const std::string& url) override {
        QDesktopServices::openUrl(QUrl::fromEncoded(QByteArray::fromStdString(url)));
    }
};

}  // namespace

RecordCommands::RecordCommands(RecordList& list, const AppSettings& settings, ProfileStore& profile,
                               ActionTable& actions, QWidget* window)
    : QObject(window),
      m_list(list),
      m_settings(settings),
      m_window(window),
      m_sink(new GuiJobSink(this)),
      m_opener(std::make_unique<DesktopUrlOpener>()) {
    QPointer<QWidget> dialogParent(window);
    m_scheduler = std::make_unique<RecordScheduler>(
        list, settings, *m_sink,
        [dialogParent](const std::string& rowName) {
            auto prompt = std::make_unique<GuiJobPrompt>(dialogParent.data());
            prompt->SetRowLabel(QString::fromStdString(rowName));
            return prompt;
        },
        *m_opener, StatusTexts());
    m_scheduler->SetProfileStore(&profile);
    m_sink->SetHandler(
        [this](int code, uint16_t jobNumber) { m_scheduler->HandleNotice(code, jobNumber); });
    // The check's results come back on its worker thread; they are applied
    // here, one queued call each (dropped once this object is gone).
    m_checkRun = std::make_unique<AddressCheckRun>(
        list, settings,
        [this](std::function<void()> result) {
            QMetaObject::invokeMethod(this, std::move(result), Qt::QueuedConnection);
        },
        StatusTexts());

    CreateActions(actions);
    m_scheduler->SetButtonsChanged([this] { UpdateActions(); });
    m_checkRun->SetBusyChanged([this] { UpdateActions(); });
    UpdateActions();
}

RecordCommands::~RecordCommands() {
    // The actions go with the window; nothing follows the last states.
    m_scheduler->SetButtonsChanged({});
    m_checkRun->SetBusyChanged({});
    m_checkRun.reset();
    m_scheduler.reset();
    // Notices of the joined jobs may still be queued for the sink.
    m_sink->SetHandler({});
}

RecordStatusTexts RecordCommands::StatusTexts() {
    RecordStatusTexts texts;
    texts.connecting = tr("Connecting", "record status").toStdString();
    texts.receivedHead = tr("Received Head", "record status").toStdString();
    texts.completed = tr("Completed", "record status").toStdString();
    texts.cancelled = tr("Cancelled", "record status").toStdString();
    texts.error = tr("Error", "record status").toStdString();
    texts.checking = tr("Checking", "record status").toStdString();
    texts.ok = tr("Ok", "record status").toStdString();
    // The core fills in the try's number.
    texts.reconnecting = tr("Reconnecting (%d)").toStdString();
    return texts;
}

void RecordCommands::CreateActions(ActionTable& actions) {
    m_recordStart =
        actions.Add(command::kRecordStart, tr("Record Start"), QKeySequence(Qt::CTRL | Qt::Key_R));
    connect(m_recordStart, &QAction::triggered, this, [this] { m_scheduler->RecordStart(); });
    m_recordStop = actions.Add(command::kRecordStop, tr("Record Stop"),
                               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    connect(m_recordStop, &QAction::triggered, this, [this] { m_scheduler->RecordStop(); });

    m_checkStart = actions.Add(command::kCheckStart, tr("Start", "URL Check"));
    connect(m_checkStart, &QAction::triggered, this, [this] { m_checkRun->Start(); });
    m_checkStop = actions.Add(command::kCheckStop, tr("Stop", "URL Check"));
    connect(m_checkStop, &QAction::triggered, this, [this] { m_checkRun->Stop(); });

    m_checkMenu = new QMenu(tr("URL Check"), m_window);
    m_checkMenu->setObjectName("urlCheckMenu");
    m_checkMenu->addAction(m_checkStart);
    m_checkMenu->addAction(m_checkStop);
}

void RecordCommands::AddTo(QMenu* menu) const {
    menu->addAction(m_recordStart);
    menu->addAction(m_recordStop);
    menu->addSeparator();
    menu->addMenu(m_checkMenu);
}

void RecordCommands::UpdateActions() {
    m_recordStart->setEnabled(SlotFree());
    m_recordStop->setEnabled(m_scheduler->Recording());
    const bool checking = m_checkRun->Busy();
    m_checkStart->setEnabled(!checking);
    m_checkStop->setEnabled(checking);
    Q_EMIT StatesChanged();
}

bool RecordCommands::SlotFree() const {
    // Every job marks its row busy; the rows are what the user sees.
    int busy = 0;
    for (int row = 0; row < m_list.RowCount(); ++row) {
        busy += m_list.Row(row).jobNumber != 0 ? 1 : 0;
    }
    return std::max(busy, m_scheduler->RunningCount()) < m_settings.m_concurrentRecordings;
}

void RecordCommands::RecordRowFromCommand(int row) {
    if (row < 0 || row >= m_list.RowCount() || m_scheduler->Recording()) {
        return;
    }
    m_list.SelectRow(row);
    m_scheduler->RecordStart();
}

void RecordCommands::StopAll() {
    m_checkRun->Stop();
    m_scheduler->StopAll();
}

}  // namespace tapewell::gui
