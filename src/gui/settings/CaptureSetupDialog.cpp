#include "gui/settings/CaptureSetupDialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "gui/app/UiPrompt.h"
#include "settings/AppSettings.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

QPushButton* MakeButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    // Only OK is the default; Enter in the file type field inserts instead
    // (see eventFilter).
    button->setAutoDefault(false);
    return button;
}

QCheckBox* MakeCheck(const QString& text, const char* name, bool checked, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

QString AdapterText(const CaptureAdapter& adapter) {
    const QString name = QString::fromStdString(adapter.name);
    if (adapter.description.empty()) {
        return name;
    }
    return QStringLiteral("%1 — %2").arg(name, QString::fromStdString(adapter.description));
}

}  // namespace

CaptureSetupDialog::CaptureSetupDialog(std::vector<CaptureAdapter> adapters, AppSettings& settings,
                                       ProfileStore& profile, QWidget* parent)
    : QDialog(parent),
      m_adapters(std::move(adapters)),
      m_settings(settings),
      m_profile(profile),
      m_adapterList(new QListWidget(this)),
      m_save(MakeCheck(tr("Save"), "save", !settings.m_captureDriver.empty(), this)),
      m_fileTypes(new QTreeWidget(this)),
      m_newType(new QLineEdit(this)),
      m_insert(MakeButton(tr("Insert"), "insert", this)),
      m_delete(MakeButton(tr("Delete"), "delete", this)),
      m_http(MakeCheck(tr("HTTP"), "http", settings.m_captureHttp, this)),
      m_mms(MakeCheck(tr("MMS"), "mms", settings.m_captureMms, this)),
      m_rtsp(MakeCheck(tr("RTSP"), "rtsp", settings.m_captureRtsp, this)),
      m_refusal(new QLabel(this)),
      m_ok(MakeButton(tr("OK"), "ok", this)),
      m_cancel(MakeButton(tr("Cancel"), "cancel", this)) {
    setObjectName("captureSetupDialog");
    setWindowTitle(tr("Select Adapter"));

    m_adapterList->setObjectName("adapters");
    m_adapterList->setSelectionMode(QAbstractItemView::SingleSelection);
    FillAdapters(settings.m_captureDriver);
    // Wide enough for the longest "name — description" (libpcap's
    // descriptions run long), within reason.
    const int wanted = m_adapterList->sizeHintForColumn(0) + 2 * m_adapterList->frameWidth() +
                       style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
    m_adapterList->setMinimumWidth(std::clamp(wanted, 280, 640));

    m_fileTypes->setObjectName("fileTypes");
    m_fileTypes->setColumnCount(1);
    m_fileTypes->setHeaderLabels({tr("File Type")});
    m_fileTypes->setRootIsDecorated(false);
    m_fileTypes->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const std::string& type : settings.m_fileTypes) {
        m_fileTypes->addTopLevelItem(new QTreeWidgetItem({QString::fromStdString(type)}));
    }
    m_newType->setObjectName("newType");
    m_refusal->setObjectName("refusal");
    m_refusal->setWordWrap(true);
    m_refusal->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_refusal->hide();

    auto* typeButtons = new QHBoxLayout;
    typeButtons->addWidget(m_newType, 1);
    typeButtons->addWidget(m_insert);
    typeButtons->addWidget(m_delete);
    auto* protocols = new QHBoxLayout;
    protocols->addWidget(m_http);
    protocols->addWidget(m_mms);
    protocols->addWidget(m_rtsp);
    protocols->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_adapterList);
    layout->addWidget(m_save);
    layout->addWidget(m_fileTypes);
    layout->addWidget(new QLabel(tr("Insert the filetype you wish to capture url."), this));
    layout->addLayout(typeButtons);
    layout->addWidget(m_refusal);
    layout->addLayout(protocols);
    layout->addLayout(buttons);

    connect(m_insert, &QPushButton::clicked, this, &CaptureSetupDialog::InsertType);
    m_newType->installEventFilter(this);
    m_ok->setDefault(true);
    connect(m_delete, &QPushButton::clicked, this, &CaptureSetupDialog::DeleteTypes);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool CaptureSetupDialog::eventFilter(QObject* watched, QEvent* event) {
    // Enter anywhere else is OK, as in any dialog; in the file type field it
    // inserts the type and must not close the dialog, so the key stops here
    // before the dialog sees it.
    if (watched == m_newType && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            InsertType();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CaptureSetupDialog::FillAdapters(const std::string& stored) {
    int selected = m_adapters.empty() ? -1 : 0;
    for (size_t i = 0; i < m_adapters.size(); ++i) {
        m_adapterList->addItem(AdapterText(m_adapters[i]));
        if (!stored.empty() && m_adapters[i].name == stored) {
            selected = static_cast<int>(i);
        }
    }
    m_adapterList->setCurrentRow(selected);
}

std::string CaptureSetupDialog::ChosenDevice() const {
    if (m_chosen < 0 || m_chosen >= static_cast<int>(m_adapters.size())) {
        return {};
    }
    return m_adapters[static_cast<size_t>(m_chosen)].name;
}

std::vector<std::string> CaptureSetupDialog::FileTypes() const {
    std::vector<std::string> types;
    for (int i = 0; i < m_fileTypes->topLevelItemCount(); ++i) {
        types.push_back(m_fileTypes->topLevelItem(i)->text(0).toStdString());
    }
    return types;
}

void CaptureSetupDialog::InsertType() {
    QString type = m_newType->text().trimmed();
    if (type.isEmpty()) {
        return;
    }
    if (!type.startsWith(QLatin1Char('.'))) {
        type.prepend(QLatin1Char('.'));
    }
    type = type.toLower();
    // The sniffer looks for the type inside a request path, which ends at
    // its first blank: a bare dot would match nearly every request, and a
    // blank or a folder separator is no part of a file name's ending.
    if (type == QLatin1String(".")) {
        Refuse(tr("Type the ending of the file names to capture, such as .wmv."));
        return;
    }
    if (std::any_of(type.begin(), type.end(),
                    [](QChar c) { return c.isSpace() || c == QLatin1Char('/'); })) {
        Refuse(tr("\"%1\" is not a file type: it may hold no blanks and no \"/\".").arg(type));
        return;
    }
    m_refusal->hide();
    m_newType->clear();
    const QList<QTreeWidgetItem*> present =
        m_fileTypes->findItems(type, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (present.isEmpty()) {
        m_fileTypes->addTopLevelItem(new QTreeWidgetItem({type}));
    }
}

void CaptureSetupDialog::Refuse(const QString& reason) {
    // The typed text stays, so the user can correct it.
    m_refusal->setText(reason);
    m_refusal->show();
    m_newType->setFocus();
}

void CaptureSetupDialog::DeleteTypes() {
    const QList<QTreeWidgetItem*> selected = m_fileTypes->selectedItems();
    for (QTreeWidgetItem* item : selected) {
        delete item;
    }
}

void CaptureSetupDialog::accept() {
    if (!m_adapters.empty()) {
        const QList<QListWidgetItem*> selected = m_adapterList->selectedItems();
        m_chosen = selected.isEmpty() ? 0 : m_adapterList->row(selected.front());
    }
    m_settings.m_captureDriver = m_save->isChecked() ? ChosenDevice() : std::string();
    m_settings.m_captureHttp = m_http->isChecked();
    m_settings.m_captureMms = m_mms->isChecked();
    m_settings.m_captureRtsp = m_rtsp->isChecked();
    m_settings.m_fileTypes = FileTypes();
    if (ErrorOr<void> saved = m_settings.Save(m_profile); !saved) {
        // Capture runs with the choices all the same; only the next start
        // will not find them.
        UiPrompt::Instance().Tell(parentWidget(), QMessageBox::Warning,
                                  tr("The capture settings could not be saved: %1")
                                      .arg(QString::fromStdString(saved.error().message)));
    }
    QDialog::accept();
}

}  // namespace tapewell::gui
