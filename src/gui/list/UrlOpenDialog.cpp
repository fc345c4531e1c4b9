#include "gui/list/UrlOpenDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/UrlSeries.h"
#include "gui/app/UiPrompt.h"
#include "settings/ProfileStore.h"

namespace tapewell::gui {
namespace {

// The wait cursor while a series is built, taken back on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QPushButton* MakeButton(const QString& text, const char* name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

UrlOpenDialog::UrlOpenDialog(ProfileStore& profile, QWidget* parent)
    : QDialog(parent),
      m_profile(profile),
      m_start(new QComboBox(this)),
      m_end(new QLineEdit(this)),
      m_list(new QPlainTextEdit(this)),
      m_lower(new QWidget(this)),
      m_play(MakeButton(tr("Play"), "play", this)),
      m_record(MakeButton(tr("Record"), "record", this)),
      m_preview(MakeButton(tr("Preview"), "preview", this)),
      m_cancel(MakeButton(tr("Cancel"), "cancel", this)),
      m_ok(MakeButton(tr("OK"), "ok", this)),
      m_listCancel(MakeButton(tr("Cancel"), "listCancel", this)) {
    setObjectName("urlOpenDialog");
    setWindowTitle(tr("Open"));
    m_recent.Load(m_profile);

    m_start->setObjectName("start");
    m_start->setEditable(true);
    // The list changes only through "Play" and "Record", not through Enter.
    m_start->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& entry : m_recent.Entries()) {
        m_start->addItem(QString::fromStdString(entry));
    }
    m_start->setCurrentIndex(m_start->count() > 0 ? 0 : -1);
    m_start->setMinimumContentsLength(40);
    m_end->setObjectName("end");
    m_list->setObjectName("list");
    m_list->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_play->setDefault(true);

    auto* form = new QFormLayout;
    auto* startLabel = new QLabel(tr("Start URL :"), this);
    startLabel->setBuddy(m_start);
    form->addRow(startLabel, m_start);
    auto* endLabel = new QLabel(tr("End URL:"), this);
    endLabel->setBuddy(m_end);
    form->addRow(endLabel, m_end);

    auto* upperButtons = new QHBoxLayout;
    upperButtons->addStretch();
    for (QPushButton* button : {m_play, m_record, m_preview, m_cancel}) {
        upperButtons->addWidget(button);
    }

    auto* lowerButtons = new QHBoxLayout;
    lowerButtons->addStretch();
    lowerButtons->addWidget(m_ok);
    lowerButtons->addWidget(m_listCancel);
    auto* lowerLayout = new QVBoxLayout(m_lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(m_list);
    lowerLayout->addLayout(lowerButtons);
    m_lower->setObjectName("listPart");
    // Most opens are one address: the list waits until "Preview" asks for it.
    m_lower->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Input File name or Url"), this));
    layout->addLayout(form);
    layout->addLayout(upperButtons);
    layout->addWidget(m_lower, 1);

    connect(m_play, &QPushButton::clicked, this, [this] { Take(kPlay); });
    connect(m_record, &QPushButton::clicked, this, [this] { Take(kRecord); });
    connect(m_preview, &QPushButton::clicked, this, &UrlOpenDialog::Preview);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ok, &QPushButton::clicked, this, &UrlOpenDialog::TakeList);
    connect(m_listCancel, &QPushButton::clicked, this, &QDialog::reject);
    m_start->setFocus();
}

void UrlOpenDialog::Preview() {
    if (m_lower->isHidden()) {
        m_lower->show();
        adjustSize();
    }
    QStringList lines;
    if (ExpandFields(&lines)) {
        AppendLines(lines);
    }
}

void UrlOpenDialog::Take(int code) {
    // The series is checked before the start address is remembered, so an
    // address that was refused is not offered again next time.
    QStringList lines;
    if (!ExpandFields(&lines)) {
        return;
    }
    Remember(m_start->currentText());
    m_list->clear();
    AppendLines(lines);
    if (Collect()) {
        done(code);
    }
}

void UrlOpenDialog::TakeList() {
    if (Collect()) {
        done(kOk);
    }
}

bool UrlOpenDialog::ExpandFields(QStringList* lines) {
    ErrorOr<std::vector<std::string>> series = Error{};
    {
        WaitCursor wait;
        series = Expand(m_start->currentText().toStdString(), m_end->text().toStdString());
    }
    if (!series) {
        UiPrompt::Instance().Tell(this, QMessageBox::Warning,
                                  tr("The addresses cannot be listed: %1")
                                      .arg(QString::fromStdString(series.error().message)));
        return false;
    }
    lines->clear();
    for (const std::string& line : *series) {
        lines->append(QString::fromStdString(line));
    }
    return true;
}

void UrlOpenDialog::AppendLines(const QStringList& lines) {
    QTextCursor cursor(m_list->document());
    cursor.movePosition(QTextCursor::End);
    QString text;
    // A last line the user left without a line break is ended first, so the
    // series starts on a line of its own.
    if (!cursor.block().text().isEmpty()) {
        text += QLatin1Char('\n');
    }
    for (const QString& line : lines) {
        text += line;
        text += QLatin1Char('\n');
    }
    cursor.insertText(text);
    m_list->setTextCursor(cursor);
    m_list->ensureCursorVisible();
}

bool UrlOpenDialog::Collect() {
    QStringList taken;
    const QStringList lines = m_list->toPlainText().split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (line.isEmpty()) {
            break;
        }
        if (static_cast<size_t>(line.toUtf8().size()) > kMaxAddressLineBytes) {
            UiPrompt::Instance().Tell(
                this, QMessageBox::Warning,
                tr("Line %1 of the list is longer than %2 bytes and cannot be an address.")
                    .arg(i + 1)
                    .arg(kMaxAddressLineBytes));
            return false;
        }
        taken.append(line);
    }
    m_result = taken;
    return true;
}

void UrlOpenDialog::Remember(const QString& start) {
    if (start.isEmpty()) {
        return;
    }
    m_recent.Add(start.toStdString());
    const int old = m_start->findText(start, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (old >= 0) {
        m_start->removeItem(old);
    }
    m_start->insertItem(0, start);
    m_start->setCurrentIndex(0);
    if (ErrorOr<void> saved = m_recent.Save(m_profile); !saved) {
        // The dialog closes at once; the message stays with the window below.
        UiPrompt::Instance().Tell(parentWidget(), QMessageBox::Warning,
                                  tr("The recent addresses could not be saved: %1")
                                      .arg(QString::fromStdString(saved.error().message)));
    }
}

}  // namespace tapewell::gui
